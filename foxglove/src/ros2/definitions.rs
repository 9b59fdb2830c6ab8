//! What a `ros2msg` schema holds for each type we write: the type's `.msg`
//! text, then each type it uses, depth first in order of first use, each
//! after a line of 80 `=` and `MSG: <pkg>/<Type>`; comments, blank lines and
//! default values left out. This is what ROS 2 Humble's definitions give
//! (Jazzy's are the same for these types), and the golden test holds these
//! texts to what rosbags generates from its Humble type store.

/// A schema: the fully qualified type name, which ROS 2 uses verbatim as
/// the topic's type, and the definition text.
pub struct MessageType {
    pub name: &'static str,
    pub definition: &'static str,
}

/// The schema encoding of every channel of a ROS 2 recording.
pub const SCHEMA_ENCODING: &str = "ros2msg";
/// The message encoding of every channel of a ROS 2 recording.
pub const MESSAGE_ENCODING: &str = "cdr";

// concat! takes literals only: each used type's text is a macro.
macro_rules! uses {
    ($name:literal, $text:literal) => {
        concat!(
            "================================================================================\n",
            "MSG: ",
            $name,
            "\n",
            $text
        )
    };
}
macro_rules! header {
    () => {
        concat!(
            uses!("std_msgs/Header", "builtin_interfaces/Time stamp\nstring frame_id\n"),
            uses!("builtin_interfaces/Time", "int32 sec\nuint32 nanosec\n")
        )
    };
}
macro_rules! vector3 {
    () => {
        uses!("geometry_msgs/Vector3", "float64 x\nfloat64 y\nfloat64 z\n")
    };
}

/// What a schema of a message that starts with a std_msgs/Header adds
/// after its own text.
pub const HEADER_USES: &str = header!();

pub const JOINT_STATE: MessageType = MessageType {
    name: "sensor_msgs/msg/JointState",
    definition: concat!(
        "std_msgs/Header header\nstring[] name\nfloat64[] position\nfloat64[] velocity\nfloat64[] effort\n",
        header!()
    ),
};

pub const TF_MESSAGE: MessageType = MessageType {
    name: "tf2_msgs/msg/TFMessage",
    definition: concat!(
        "geometry_msgs/TransformStamped[] transforms\n",
        uses!(
            "geometry_msgs/TransformStamped",
            "std_msgs/Header header\nstring child_frame_id\ngeometry_msgs/Transform transform\n"
        ),
        header!(),
        uses!(
            "geometry_msgs/Transform",
            "geometry_msgs/Vector3 translation\ngeometry_msgs/Quaternion rotation\n"
        ),
        vector3!(),
        uses!(
            "geometry_msgs/Quaternion",
            "float64 x\nfloat64 y\nfloat64 z\nfloat64 w\n"
        )
    ),
};

pub const WRENCH_STAMPED: MessageType = MessageType {
    name: "geometry_msgs/msg/WrenchStamped",
    definition: concat!(
        "std_msgs/Header header\ngeometry_msgs/Wrench wrench\n",
        header!(),
        uses!(
            "geometry_msgs/Wrench",
            "geometry_msgs/Vector3 force\ngeometry_msgs/Vector3 torque\n"
        ),
        vector3!()
    ),
};

/// The robot's I/O (see io.rs for why Joy).
pub const JOY: MessageType = MessageType {
    name: "sensor_msgs/msg/Joy",
    definition: concat!("std_msgs/Header header\nfloat32[] axes\nint32[] buttons\n", header!()),
};
