// Run-time binding of the serial-port library and the two port operations
// built on it (open with the link's fixed settings, close).
#pragma once

#include "link/serial_api.h"

#include <string>

namespace km7 {

class SerialLibrary {
public:
    SerialLibrary() = default;
    ~SerialLibrary();
    SerialLibrary(const SerialLibrary&) = delete;
    SerialLibrary& operator=(const SerialLibrary&) = delete;

    // Loads the library at `path` and resolves all fourteen operations.
    // Returns false (and leaves nothing loaded) when the file cannot be
    // loaded or any operation is missing; `Error()` then says why.
    bool Load(const std::string& path);
    void Unload();
    bool Loaded() const { return handle_ != nullptr; }
    const std::string& Error() const { return error_; }

    // Opens `portName` (when not open yet) and applies the link settings:
    // write time-out 100 ms, read time-out 100 ms, 115200 bit/s, buffers
    // cleared. Returns 0 when the port is open, 1 on failure.
    int OpenPort(const std::string& portName) const;
    // Closes the port if it is open.
    void ClosePort() const;

    bool Connected() const { return handle_ && connected_() != 0; }
    void ClearBuffers() const { if (handle_) clearBuffers_(1, 1); }
    void SetReadTimeout(int totalMs) const { if (handle_) readTimeouts_(0, 0, totalMs); }
    int Write(const void* bytes, int count) const { return handle_ ? write_(bytes, count) : 0; }
    int Read(void* buffer, int count) const { return handle_ ? read_(buffer, count) : 0; }

    // The names the library must export, in the order they are resolved.
    static const char* const kOperationNames[14];

private:
    void* handle_ = nullptr;
    std::string error_;
    SerialConnectedFn connected_ = nullptr;
    SerialOpenFn open_ = nullptr;
    SerialCloseFn close_ = nullptr;
    SerialClearBuffersFn clearBuffers_ = nullptr;
    SerialSetBaudrateFn setBaudrate_ = nullptr;
    SerialWriteTimeoutsFn writeTimeouts_ = nullptr;
    SerialReadTimeoutsFn readTimeouts_ = nullptr;
    SerialWriteFn write_ = nullptr;
    SerialReadFn read_ = nullptr;
    SerialSetTwoStopBitsFn setTwoStopBits_ = nullptr;
    SerialSetParityFn setParity_ = nullptr;
    SerialSetDTRFn setDTR_ = nullptr;
    SerialSetRTSFn setRTS_ = nullptr;
    SerialInputCountFn inputCount_ = nullptr;
};

} // namespace km7
