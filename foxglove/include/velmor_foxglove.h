/*
 * velmor_foxglove: qrk's narrow C ABI over the Foxglove SDK, for MCAP
 * recordings and the live WebSocket server. The same library carries the
 * bridge's C ABI (velmor_bridge.h) unchanged, so that qrk links one Rust
 * library.
 *
 * Conventions (those of velmor_bridge.h)
 * - Every handle is an opaque heap object. Constructors fill an out-parameter
 *   and return a result code; on failure the out-parameter is set to NULL.
 *   Every release function accepts NULL.
 * - Result codes: 0 ok, negative on failure. No Rust panic ever crosses this
 *   boundary: a panic is caught and reported as VF_EGENERIC. After a failed
 *   call, vf_last_error() tells why.
 * - A handle may be used from any thread; concurrent calls on one handle are
 *   serialised inside.
 * - A sample is passed as plain arrays of doubles (the client's records) and
 *   encoded here; the arrays are borrowed for the call only.
 *
 * Channels
 * A channel is a topic with one of the schemas below; what is logged on it
 * must fit its schema:
 * - VF_SCHEMA_JOINT_STATES: foxglove.JointStates from a group's states: one
 *   entry per joint, named joint_<robot-wide index>, position = q,
 *   velocity = dq, effort = tau.
 * - VF_SCHEMA_FRAME_TRANSFORMS: foxglove.FrameTransforms from every group's
 *   frames of one sample (log_frames), as ROS tf does: per group, in the
 *   order given, world -> <group>_tcp (tcp_pose) and world -> <group>_flange
 *   (flange_pose), the quaternion reordered from the robot's (w, x, y, z) to
 *   Foxglove's (x, y, z, w).
 * - VF_SCHEMA_ROBOT_STATES, VF_SCHEMA_ROBOT_ACTIONS, VF_SCHEMA_ROBOT_IO: our
 *   own protobuf schemas (robotstates.RobotStates, robotactions.RobotActions,
 *   robotio.RobotIo), every field of the record under its name, values as
 *   float (they arrive from the robot as float), the time stamp pair as
 *   `timestamp`.
 * The Foxglove messages' own time stamps are the message's log time.
 */
#ifndef VELMOR_FOXGLOVE_H
#define VELMOR_FOXGLOVE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int8_t vf_result;
#define VF_OK ((vf_result)0)
#define VF_EINVAL ((vf_result)-1)   /* an argument does not fit (schema, channel, compression) */
#define VF_EIO ((vf_result)-3)      /* the recording's file cannot be created or written */
#define VF_ENETWORK ((vf_result)-4) /* the server cannot listen (port in use, no such address) */
#define VF_ENULL ((vf_result)-5)
#define VF_EEXIST ((vf_result)-6) /* a recording's file exists (and is kept) */
#define VF_EGENERIC ((vf_result)-128)

/* The message of this thread's last failed call (empty before the first);
 * valid until the next failure on this thread. */
const char* vf_last_error(void);

typedef int32_t vf_schema;
#define VF_SCHEMA_JOINT_STATES ((vf_schema)0)
#define VF_SCHEMA_FRAME_TRANSFORMS ((vf_schema)1)
#define VF_SCHEMA_ROBOT_STATES ((vf_schema)2)
#define VF_SCHEMA_ROBOT_ACTIONS ((vf_schema)3)
#define VF_SCHEMA_ROBOT_IO ((vf_schema)4)

typedef int32_t vf_compression;
#define VF_COMPRESSION_NONE ((vf_compression)0)
#define VF_COMPRESSION_ZSTD ((vf_compression)1)
#define VF_COMPRESSION_LZ4 ((vf_compression)2)

/* Per message: the sample's number in its stream (MCAP's sequence is 32
 * bits; it wraps), and its log time in nanoseconds since the Unix epoch,
 * which a recording also writes as the message's publish time. The live
 * server uses the log time only. */
typedef struct vf_stamp {
  uint32_t sequence;
  uint64_t log_time;
} vf_stamp;

/* A joint group's measured states (velmor::qrk::RobotStates). The per-joint
 * arrays hold `joints` values each (NULL allowed when 0); a pose holds 7
 * values, position then quaternion (w, x, y, z); the others 6. */
typedef struct vf_group_states {
  uint32_t first_joint; /* the group's first joint in the whole robot: names the joints */
  size_t joints;
  int32_t timestamp[2];
  const double* q;
  const double* theta;
  const double* dq;
  const double* dtheta;
  const double* tau;
  const double* tau_dot;
  const double* tau_ext;
  const double* tau_interact;
  const double* temperature;
  const double* flange_pose;
  const double* tcp_pose;
  const double* tcp_twist;
  const double* tcp_wrench;
  const double* tcp_wrench_local;
  const double* raw_tcp_wrench;
  const double* raw_tcp_wrench_local;
  const double* raw_ft_sensor;
} vf_group_states;

/* A joint group's frames: its name (NUL-terminated) and two poses of 7
 * values each, as in vf_group_states. */
typedef struct vf_group_frames {
  const char* group;
  const double* tcp_pose;
  const double* flange_pose;
} vf_group_frames;

/* A joint group's commanded values (velmor::qrk::RobotActions), shaped as
 * vf_group_states. */
typedef struct vf_group_actions {
  size_t joints;
  int32_t timestamp[2];
  const double* q_d;
  const double* dq_d;
  const double* tau_d;
  const double* tcp_pose_d;
  const double* tcp_twist_d;
  const double* tcp_wrench_d;
} vf_group_actions;

/* The robot's safety inputs and digital I/O. */
typedef struct vf_io {
  int32_t timestamp[2];
  bool estop_released;
  bool enabling_device_on;
  bool digital_inputs[20];
  bool digital_outputs[20];
} vf_io;

/* MCAP recording: chunked, each chunk compressed as asked, with a summary and
 * footer once finished. Creating makes a new file at `path` (NUL-terminated
 * UTF-8), exclusively: VF_EEXIST, "PATH already exists", when a file or
 * symlink is there, which is left untouched; with `overwrite`, what is there
 * is removed first (a symlink itself, never its target). VF_EIO when it
 * cannot be created. The first write error (a full disk, a
 * file-size limit; a process that sets RLIMIT_FSIZE must ignore SIGXFSZ to
 * see one) ends the recording: that call and every later one return VF_EIO
 * with the same message, and the file keeps every chunk completed before it
 * (no summary or footer). Messages are compressed on the calling thread;
 * each chunk is followed by its message indexes, which indexed readers need.
 * The channels' records are written with the first message, so that a
 * metadata record written before it precedes every chunk. */
typedef struct vf_mcap_writer vf_mcap_writer;
vf_result vf_mcap_writer_create(const char* path, vf_compression compression, bool overwrite, vf_mcap_writer** out);
/* Adds a channel (and its schema) and sets `channel` to its number for the
 * log calls. */
vf_result vf_mcap_writer_add_channel(const vf_mcap_writer* writer, const char* topic, vf_schema schema,
                                     uint32_t* channel);
/* VF_EINVAL when the channel's schema does not take what is logged. */
vf_result vf_mcap_writer_log_states(const vf_mcap_writer* writer, uint32_t channel, const vf_stamp* stamp,
                                    const vf_group_states* states);
/* `count` groups' frames of one sample as one message (`groups` may be NULL
 * when `count` is 0). */
vf_result vf_mcap_writer_log_frames(const vf_mcap_writer* writer, uint32_t channel, const vf_stamp* stamp,
                                    const vf_group_frames* groups, size_t count);
vf_result vf_mcap_writer_log_actions(const vf_mcap_writer* writer, uint32_t channel, const vf_stamp* stamp,
                                     const vf_group_actions* actions);
vf_result vf_mcap_writer_log_io(const vf_mcap_writer* writer, uint32_t channel, const vf_stamp* stamp, const vf_io* io);
/* An MCAP metadata record: `count` NUL-terminated keys and values. It ends
 * the chunk in progress and is flushed to the file at once. */
vf_result vf_mcap_writer_write_metadata(const vf_mcap_writer* writer, const char* name, const char* const* keys,
                                        const char* const* values, size_t count);
/* Writes the last chunk, the summary and the footer, and flushes the file;
 * later calls return VF_EINVAL. */
vf_result vf_mcap_writer_finish(const vf_mcap_writer* writer);
/* Finishes a recording that is neither finished nor failed (errors are
 * lost: call vf_mcap_writer_finish to see them), then releases it. */
void vf_mcap_writer_drop(vf_mcap_writer* writer);

/* Live server: the SDK's Foxglove WebSocket server (subprotocols
 * foxglove.sdk.v1 and foxglove.sdk.v1.1), reached on `host` and `port` (0:
 * any free port; see vf_live_server_port). It advertises every channel added
 * and sends a message only to the clients subscribed to its channel; each
 * client has a bounded queue (the SDK's 1024 messages), and a client that
 * falls behind loses the oldest. A message on a channel that no client
 * subscribes to is not even encoded. Limits: at most `max_viewers`
 * connections at once (one more is answered with HTTP 503 and closed), 10 s
 * for a connection to complete its WebSocket handshake. The SDK itself
 * listens on a loopback port of its own, to which `port` relays.
 * VF_ENETWORK when it cannot listen; VF_EINVAL when max_viewers is 0. */
typedef struct vf_live_server vf_live_server;
vf_result vf_live_server_start(const char* host, uint16_t port, size_t max_viewers, vf_live_server** out);
uint16_t vf_live_server_port(const vf_live_server* server);
/* Connections refused so far for being over max_viewers. */
uint64_t vf_live_server_refused(const vf_live_server* server);
vf_result vf_live_server_add_channel(const vf_live_server* server, const char* topic, vf_schema schema,
                                     uint32_t* channel);
vf_result vf_live_server_log_states(const vf_live_server* server, uint32_t channel, const vf_stamp* stamp,
                                    const vf_group_states* states);
vf_result vf_live_server_log_frames(const vf_live_server* server, uint32_t channel, const vf_stamp* stamp,
                                    const vf_group_frames* groups, size_t count);
vf_result vf_live_server_log_actions(const vf_live_server* server, uint32_t channel, const vf_stamp* stamp,
                                     const vf_group_actions* actions);
vf_result vf_live_server_log_io(const vf_live_server* server, uint32_t channel, const vf_stamp* stamp, const vf_io* io);
/* Closes every connection, waits at most half a second for the server's tasks
 * to end (aborting the rest: a client that stopped reading never takes its
 * closing frame), and releases the server. */
void vf_live_server_stop(vf_live_server* server);

#ifdef __cplusplus
}
#endif

#endif /* VELMOR_FOXGLOVE_H */
