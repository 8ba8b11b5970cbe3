#pragma once
/* The virtual driver's one piece of protocol: a device control request turned
   into one wire request on the virtual camera's pipe and its reply copied back
   into the caller's buffers. C, because the driver's kernel headers are. */
#ifdef __cplusplus
extern "C" {
#endif

/* A connected byte stream; each call moves all `length` bytes or fails (0). */
struct PelnikWireStream {
  void *context;
  int (*write)(void *context, const void *bytes, unsigned int length);
  int (*read)(void *context, void *bytes, unsigned int length);
};

enum PelnikForwardResult {
  PELNIK_FORWARD_DONE = 0,    /* the device did it; *returned bytes are in the output */
  PELNIK_FORWARD_FAILED = 1,  /* the device refused the request; the stream stays usable */
  PELNIK_FORWARD_INVALID = 2, /* lengths beyond the wire's limits: nothing was sent */
  PELNIK_FORWARD_BROKEN = 3   /* the stream broke or lost step: never use it again */
};

/* Sends one request and reads its reply. `output` holds outputLength bytes:
   for a command transfer it carries the block to the device, for a read it
   receives the data. */
enum PelnikForwardResult pelnikForwardRequest(const struct PelnikWireStream *stream,
                                              unsigned int code, const void *input,
                                              unsigned int inputLength, void *output,
                                              unsigned int outputLength, unsigned int *returned);

/* The character that names camera `camera` in its device path ("-N"). */
unsigned short pelnikUnitCharacter(unsigned int camera);

#ifdef __cplusplus
}
#endif
