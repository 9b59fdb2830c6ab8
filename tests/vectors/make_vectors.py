#!/usr/bin/env python3
"""Generates serialization_vectors.inc: byte strings made by zenoh's own
serializer (zenoh.ext.z_serialize from eclipse-zenoh), each paired with the
C++ value it must decode to. The C++ side (tests/cpp/messages/
zenoh_vectors_test.cpp) decodes every vector with our reader and encodes the
value with our writer, so both directions are checked against an independent
implementation.

    .venv/bin/python tests/vectors/make_vectors.py

Each line of the output is
    VELMOR_VECTOR(name, "hex bytes", <C++ expression of the expected value>)
"""

import math
import pathlib
import struct
from importlib.metadata import version

from zenoh.ext import Float32, Int16, Int32, UInt16, UInt32, z_serialize

OUT = pathlib.Path(__file__).with_name("serialization_vectors.inc")


class V:
    """A value in two forms: what z_serialize takes, and a C++ expression."""

    def __init__(self, z, cpp, cpp_type):
        self.z = z
        self.cpp = cpp
        self.cpp_type = cpp_type


def u16(x):
    return V(UInt16(x), f"std::uint16_t{{{x}}}", "std::uint16_t")


def i16(x):
    return V(Int16(x), f"std::int16_t{{{x}}}", "std::int16_t")


def i32(x):
    # -2147483648 is not a literal in C++; write it as an expression.
    lit = "(-2147483647 - 1)" if x == -(2**31) else str(x)
    return V(Int32(x), f"std::int32_t{{{lit}}}", "std::int32_t")


def u32(x):
    return V(UInt32(x), f"std::uint32_t{{{x}u}}", "std::uint32_t")


def f32(x):
    # Round to the float the wire carries, so the C++ literal is exact.
    x = struct.unpack("<f", struct.pack("<f", x))[0]
    if math.isinf(x):
        cpp = ("-" if x < 0 else "") + "std::numeric_limits<float>::infinity()"
    else:
        cpp = f"float{{{x.hex()}f}}"
    return V(Float32(x), cpp, "float")


def boolean(x):
    return V(x, "true" if x else "false", "bool")


def string(s):
    raw = s.encode("utf-8")
    body = "".join(chr(b) if b < 128 and (chr(b).isalnum() or chr(b) == " ") else f"\\{b:03o}" for b in raw)
    return V(s, f'std::string("{body}", {len(raw)})', "std::string")


def vec(cpp_elem, items):
    t = f"std::vector<{cpp_elem}>"
    return V([i.z for i in items], f"{t}{{{', '.join(i.cpp for i in items)}}}", t)


def arr(cpp_elem, items):
    t = f"std::array<{cpp_elem}, {len(items)}>"
    return V([i.z for i in items], f"{t}{{{', '.join(i.cpp for i in items)}}}", t)


def floats(xs):
    return vec("float", [f32(x) for x in xs])


def farr(xs):
    return arr("float", [f32(x) for x in xs])


def bools(n, on):
    return arr("bool", [boolean(i in on) for i in range(n)])


def rec(cpp_type, fields):
    """A record: its fields concatenated, built from a tuple like the server does."""
    return V(tuple(f.z for f in fields), f"qrk_msg::{cpp_type}{{{', '.join(f.cpp for f in fields)}}}",
             f"qrk_msg::{cpp_type}")


def primitives():
    yield "u16_zero", u16(0)
    yield "u16_500", u16(500)
    yield "u16_max", u16(65535)
    yield "i16_min", i16(-32768)
    yield "i16_minus_one", i16(-1)
    yield "i16_max", i16(32767)
    yield "i32_min", i32(-(2**31))
    yield "i32_minus_one", i32(-1)
    yield "i32_1234566", i32(1234566)
    yield "i32_max", i32(2**31 - 1)
    yield "u32_zero", u32(0)
    yield "u32_high_bit", u32(2**31)
    yield "u32_max", u32(2**32 - 1)
    yield "f32_zero", f32(0.0)
    yield "f32_negative_zero", f32(-0.0)
    yield "f32_minus_one_and_a_half", f32(-1.5)
    yield "f32_one_tenth", f32(0.1)
    yield "f32_max", f32(3.4028234663852886e38)
    yield "f32_lowest", f32(-3.4028234663852886e38)
    yield "f32_smallest_normal", f32(1.1754943508222875e-38)
    yield "f32_smallest_subnormal", f32(1.401298464324817e-45)
    yield "f32_infinity", f32(math.inf)
    yield "f32_negative_infinity", f32(-math.inf)
    yield "bool_false", boolean(False)
    yield "bool_true", boolean(True)
    yield "string_empty", string("")
    yield "string_test", string("test")
    yield "string_non_ascii", string("Gelenk \u00e9\u65e5\u672c \U0001f916")
    yield "string_127_bytes", string("a" * 127)
    yield "string_128_bytes", string("b" * 128)
    yield "string_300_bytes", string("c" * 300)


def sequences():
    yield "list_empty", floats([])
    yield "list_u16", vec("std::uint16_t", [u16(x) for x in (0, 2, 3, 4, 5, 65535)])
    yield "list_i16", vec("std::int16_t", [i16(x) for x in (-32768, 0, 32767)])
    yield "list_i32", vec("std::int32_t", [i32(x) for x in (-(2**31), -1, 0, 2**31 - 1)])
    yield "list_u32", vec("std::uint32_t", [u32(x) for x in (0, 1, 2**32 - 1)])
    yield "list_f32", floats([1.0, -2.5, 0.1, 1e-30])
    yield "list_bool", vec("bool", [boolean(x) for x in (True, False, True)])
    yield "list_of_200_f32", floats([i * 0.25 for i in range(200)])
    yield "list_string", vec("std::string", [string(s) for s in ("", "alpha", "\u00fc\u00df", "x" * 130)])
    yield "list_of_lists_f32", vec("std::vector<float>", [floats([1.0, 2.0]), floats([]), floats([-0.5])])
    yield "list_of_f32_triples", vec("std::array<float, 3>", [farr([1, 2, 3]), farr([-4, 5.5, 6])])
    yield "array_of_20_bools", bools(20, {0, 5, 19})


def status(seed):
    return rec("StatusData", [u16(65000 + seed), i16(-300 - seed), boolean(True), boolean(seed % 2 == 0),
                              bools(8, {1, 7}), bools(20, {0, 3, 19}), bools(20, {seed % 20})])


def cartesian_state(base):
    return rec("CartesianStateData", [farr([base + i for i in range(7)]),
                                      farr([0.5, -0.25, 1.0, 1.0, 0.0, 0.0, 0.0]),
                                      farr([base * 0.5 + i for i in range(6)]),
                                      farr([1, 2, 3, 0.1, 0.2, 0.3]),
                                      farr([-1] * 6),
                                      farr([4, 5, 6, 0.4, 0.5, 0.6]),
                                      farr([7, 8, 9, 0.7, 0.8, 0.9])])


def records():
    yield "rpc_request_layout", rec("RPCRequest", [u16(10), vec("std::uint16_t", [u16(g) for g in (0, 2, 3, 4, 5)])])
    yield "rpc_request_reachability", rec("RPCRequest", [u16(0), vec("std::uint16_t", [])])
    yield "rpc_reply_all_filled", rec("RPCReply", [
        u16(10), boolean(True),
        vec("std::uint16_t", [u16(0), u16(3), u16(65535)]),
        vec("std::int32_t", [i32(0), i32(7), i32(-6)]),
        vec("std::string", [string("v2.1"), string(""), string("jointGroup: ARM_1 \u00e9")]),
        floats([0.0, 1.5, -2.25]),
        vec("std::vector<float>", [floats([0.1, 0.2]), floats([]), floats([3.0])]),
    ])
    joints = 4
    joint_state = rec("JointStateData", [floats([k * 10 + j * 0.5 for j in range(joints)]) for k in range(9)] + [
        vec("std::array<float, 3>", [farr([j, j + 1, j + 2]) for j in range(joints)]),
        vec("std::array<float, 3>", [farr([-1, 0.5, 2])]),
    ])
    yield "all_basic_stream_data", rec("AllBasicStreamData", [
        status(1),
        vec("std::uint16_t", [u16(0), u16(3)]),
        joint_state,
        vec("qrk_msg::CartesianStateData", [cartesian_state(1.0), cartesian_state(-20.0)]),
        i32(-123456),
        u32(4294967295),
    ])
    joint_desired = rec("JointDesiredData", [floats([0.1, 0.2, 0.3]), floats([]), floats([-1.0, 1.0, 2.0])])
    cart_desired = rec("CartesianDesiredData",
                       [farr([1, 2, 3, 1, 0, 0, 0]), farr([0.5] * 6), farr([-3, 0, 3, 0, 0, 1])])
    yield "all_extra_stream_data", rec("AllExtraStreamData", [
        vec("std::uint16_t", [u16(2)]),
        joint_desired,
        vec("qrk_msg::CartesianDesiredData", [cart_desired]),
    ])


def main():
    # Known bytes of zenoh's format: a wrong zenoh or wrapper use stops here.
    assert z_serialize(Int32(1234566)).to_bytes().hex() == "86d61200"
    assert z_serialize((UInt16(500), Float32(1234.0), "test")).to_bytes().hex() == "f40100409a440474657374"
    lines = [
        f"// Generated by tests/vectors/make_vectors.py with zenoh.ext.z_serialize (eclipse-zenoh "
        f"{version('eclipse-zenoh')}); do not edit.",
        "// VELMOR_VECTOR(name, hex bytes, expected value)",
    ]
    for group in (primitives, sequences, records):
        for name, value in group():
            hex_bytes = z_serialize(value.z).to_bytes().hex()
            lines.append(f'VELMOR_VECTOR({name}, "{hex_bytes}", {value.cpp})')
    OUT.write_text("\n".join(lines) + "\n")
    print(f"wrote {len(lines) - 2} vectors to {OUT}")


if __name__ == "__main__":
    main()
