/*
 * velmor_bridge: the narrow C ABI of our Rust crate over zenoh.
 *
 * Conventions
 * - Every handle is an opaque heap object. Constructors fill an out-parameter
 *   and return a result code; on failure the out-parameter is set to NULL.
 *   Every release function accepts NULL.
 * - Result codes are zenoh's C values: 0 ok, negative on failure (VB_EINVAL,
 *   VB_EDESERIALIZE, ..., VB_EGENERIC). No Rust panic ever crosses this
 *   boundary: a panic is caught and reported as VB_EGENERIC.
 * - Callbacks are {call, drop, context} triples, and every closure keeps one
 *   contract, whoever takes it (subscriber, queryable, get):
 *   - `call` runs on zenoh's own threads, one call at a time: a call arriving
 *     while another runs waits for it (zenoh itself would run them
 *     concurrently). It must not block for long and must not unwind (C++
 *     callers catch everything).
 *   - Undeclaring the subscriber or queryable that took the closure returns
 *     only when no call is running and none will start: the caller may free
 *     what the calls touch right after it. Called from inside a call, it does
 *     not wait for that call, and calls waiting behind it return without
 *     running, so it cannot deadlock. A call that zenoh delivers inline from
 *     inside a call on the same thread (a put or get on our own key from a
 *     callback) is dropped rather than waiting for itself.
 *   - `drop` runs exactly once, after the last `call` has returned, also
 *     when the operation that took the closure fails; it is where the context
 *     is released. For a get it is the end-of-replies signal.
 * - Local delivery is inline: a put on a session runs that session's matching
 *   subscribers on the putting thread, and a get runs matching local
 *   queryables inside vb_get.
 */
#ifndef VELMOR_BRIDGE_H
#define VELMOR_BRIDGE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int8_t vb_result;
#define VB_OK ((vb_result)0)
#define VB_EINVAL ((vb_result)-1)
#define VB_EPARSE ((vb_result)-2)
#define VB_EIO ((vb_result)-3)
#define VB_ENETWORK ((vb_result)-4)
#define VB_ENULL ((vb_result)-5)
#define VB_EUNAVAILABLE ((vb_result)-6)
#define VB_EDESERIALIZE ((vb_result)-7)
#define VB_ESESSION_CLOSED ((vb_result)-8)
#define VB_EUTF8 ((vb_result)-9)
#define VB_EGENERIC ((vb_result)-128)

typedef struct vb_session vb_session;
typedef struct vb_keyexpr vb_keyexpr;
typedef struct vb_subscriber vb_subscriber;
typedef struct vb_publisher vb_publisher;
typedef struct vb_queryable vb_queryable;
typedef struct vb_query vb_query;

/* One received sample: its key expression (not NUL-terminated) and
 * `payload` are valid only during the call. */
typedef struct vb_sample_closure {
  void (*call)(const char* key, size_t key_len, const uint8_t* payload, size_t len, void* context);
  void (*drop)(void* context);
  void* context;
} vb_sample_closure;

/* One reply to a get: `is_ok` false for an error reply (its payload is the
 * error's, and its key is empty). Key and payload are valid only during the
 * call. `drop` is the end-of-replies signal: it runs once when zenoh
 * releases the query state (all final replies in, time-out, session closed). */
typedef struct vb_reply_closure {
  void (*call)(bool is_ok, const char* key, size_t key_len, const uint8_t* payload, size_t len, void* context);
  void (*drop)(void* context);
  void* context;
} vb_reply_closure;

/* One query reaching a queryable: `query` is borrowed for the call; keep it
 * longer with vb_query_clone. */
typedef struct vb_query_closure {
  void (*call)(const vb_query* query, void* context);
  void (*drop)(void* context);
  void* context;
} vb_query_closure;

/* Session with zenoh's default configuration (peer mode, multicast scouting).
 * vb_session_close closes it and waits for zenoh's tasks to stop, but not for
 * a callback that is already running; never call it from a zenoh callback
 * thread. */
vb_result vb_session_open(vb_session** out);
/* Session with zenoh's default configuration but for `mode` ("peer",
 * "client" or "router"; NULL keeps the default, peer) and the `connect_len`
 * endpoints of `connect` (NUL-terminated UTF-8, such as "tcp/10.0.0.1:7447")
 * to connect to: for a server that reaches its clients through a router.
 * VB_EINVAL when zenoh rejects the mode or an endpoint's syntax; VB_EGENERIC
 * when the session does not open (a client finds none of its endpoints). */
vb_result vb_session_open_with(const char* mode, const char* const* connect, size_t connect_len, vb_session** out);
void vb_session_close(vb_session* session);

/* Key expressions, canonised then validated (VB_EINVAL when rejected). The
 * text of a canonised key stays valid as long as the handle. */
vb_result vb_keyexpr_autocanonize(const char* text, size_t len, vb_keyexpr** out);
void vb_keyexpr_as_str(const vb_keyexpr* keyexpr, const char** data, size_t* len);
void vb_keyexpr_drop(vb_keyexpr* keyexpr);

/* Subscriber; undeclaring keeps the closure contract above. */
vb_result vb_subscriber_declare(const vb_session* session, const vb_keyexpr* keyexpr, vb_sample_closure closure,
                                vb_subscriber** out);
void vb_subscriber_undeclare(vb_subscriber* subscriber);

/* Query with the payload tagged zenoh-serialized; target best-matching,
 * default consolidation, congestion control block, priority data, not
 * express. `timeout_ms` 0 means zenoh's default time-out. With
 * VB_GET_EVERY_SERVER in `flags` the query reaches every matching queryable
 * (target all) and each reply is delivered as it comes (consolidation none),
 * so that two servers on one key give two replies. The closure is dropped
 * (end of replies) exactly once, also when this call fails. */
#define VB_GET_EVERY_SERVER ((uint32_t)1)
vb_result vb_get(const vb_session* session, const vb_keyexpr* keyexpr, const uint8_t* payload, size_t len,
                 uint64_t timeout_ms, uint32_t flags, vb_reply_closure closure);

/* Responder watch: whether zenoh knows a queryable that vb_get on `keyexpr`
 * would reach. A query sent before zenoh has learnt of one ends at once with
 * no reply, however soon the server appears. vb_responder_watch_wait returns
 * true as soon as one is known (at once if it already is), false when
 * `timeout_ms` passes first; it blocks the calling thread, so never call it
 * from a zenoh callback. */
typedef struct vb_responder_watch vb_responder_watch;
vb_result vb_responder_watch_declare(const vb_session* session, const vb_keyexpr* keyexpr, vb_responder_watch** out);
bool vb_responder_watch_wait(const vb_responder_watch* watch, uint64_t timeout_ms);
void vb_responder_watch_undeclare(vb_responder_watch* watch);

/* Server side, for the simulator and tests (the client never publishes). */
vb_result vb_publisher_declare(const vb_session* session, const vb_keyexpr* keyexpr, vb_publisher** out);
vb_result vb_publisher_put(const vb_publisher* publisher, const uint8_t* payload, size_t len);
void vb_publisher_undeclare(vb_publisher* publisher);

vb_result vb_queryable_declare(const vb_session* session, const vb_keyexpr* keyexpr, vb_query_closure closure,
                               vb_queryable** out);
void vb_queryable_undeclare(vb_queryable* queryable);

/* The query's payload, valid as long as the query; empty when it has none. */
void vb_query_payload(const vb_query* query, const uint8_t** data, size_t* len);
/* Replies on the queryable's own key expression when it names a single
 * resource (so a wildcard query learns who answered), else on the query's;
 * payload tagged zenoh-serialized. */
vb_result vb_query_reply(const vb_query* query, const uint8_t* payload, size_t len);
vb_result vb_query_reply_err(const vb_query* query, const uint8_t* payload, size_t len);
/* A query's final reply is sent when its last clone is dropped: holding a
 * clone keeps the requester waiting. */
vb_query* vb_query_clone(const vb_query* query);
void vb_query_drop(vb_query* query);

#ifdef __cplusplus
}
#endif

#endif /* VELMOR_BRIDGE_H */
