/*
 * Message targets: what stands in for application windows on Linux.
 *
 * Create a target and pass its handle wherever the SDK takes an owner or
 * callback window; the SDK posts PELNIK_WM_ERROR and PELNIK_WM_FRAME to it.
 * Take messages with PelnikMsg_Get, or wait on PelnikMsg_Fd in a poll/epoll,
 * GLib or Qt loop: the descriptor is readable exactly while messages wait.
 *
 * Posting never blocks. A target keeps at most PELNIKMSG_QUEUE_LIMIT
 * messages; later ones are dropped until the application takes some. Posts
 * to window 0, to unknown and to destroyed targets are dropped. Handles are
 * never reused within a process.
 */
#ifndef PELNIK_MESSAGES_H
#define PELNIK_MESSAGES_H

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

#if defined(PELNIK_BUILDING_SDK)
#define PELNIKMSG_API __attribute__((visibility("default")))
#else
#define PELNIKMSG_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define PELNIKMSG_QUEUE_LIMIT 10000

typedef struct PelnikMsg {
  unsigned int message;
  uintptr_t wParam;
  intptr_t lParam;
} PelnikMsg;

/* A new message target; 0 on failure. */
PELNIKMSG_API int PelnikMsg_CreateWindow(void);
/* 1, or 0 for a window that is not a live target. Wakes waiting readers. */
PELNIKMSG_API int PelnikMsg_DestroyWindow(int window);
/* 1 with a message, 0 on time-out, -1 for a window that is not a live target.
 * timeoutMs -1 (as every negative value) waits without limit, 0 only looks. */
PELNIKMSG_API int PelnikMsg_Get(int window, PelnikMsg *msg, int timeoutMs);
/* A descriptor readable while messages wait; -1 for a window that is not a
 * live target. Owned by the target: do not read from it or close it. */
PELNIKMSG_API int PelnikMsg_Fd(int window);

#ifdef __cplusplus
}
#endif

#endif /* PELNIK_MESSAGES_H */
