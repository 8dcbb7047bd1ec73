// The serial-port library's C interface: fourteen plain C operations with
// caller-cleaned arguments. The program binds them at run time by name.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef int (*SerialConnectedFn)(void);
typedef void (*SerialOpenFn)(const char* portName, int flags);
typedef void (*SerialCloseFn)(void);
typedef void (*SerialClearBuffersFn)(int rx, int tx);
typedef void (*SerialSetBaudrateFn)(int baud);
typedef void (*SerialWriteTimeoutsFn)(int multiplier, int constantMs);
typedef void (*SerialReadTimeoutsFn)(int intervalMs, int multiplier, int totalMs);
typedef int (*SerialWriteFn)(const void* bytes, int count);
typedef int (*SerialReadFn)(void* buffer, int count);
typedef void (*SerialSetTwoStopBitsFn)(int on);
typedef void (*SerialSetParityFn)(int parity);
typedef void (*SerialSetDTRFn)(int on);
typedef void (*SerialSetRTSFn)(int on);
typedef int (*SerialInputCountFn)(void);

#ifdef __cplusplus
}
#endif
