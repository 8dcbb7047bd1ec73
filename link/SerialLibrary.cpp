#include "link/SerialLibrary.h"

#include <dlfcn.h>

namespace km7 {

const char* const SerialLibrary::kOperationNames[14] = {
    "_Connected",    "_Open",     "_Close", "_ClearBuffers", "_SetBaudrate",
    "_WriteTimeouts", "_ReadTimeouts", "_Write", "_Read", "_SetTwoStopBits",
    "_SetParity",    "_SetDTR",   "_SetRTS", "_InputCount",
};

SerialLibrary::~SerialLibrary() { Unload(); }

bool SerialLibrary::Load(const std::string& path)
{
    Unload();
    error_.clear();
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* why = dlerror();
        error_ = why ? why : ("cannot load " + path);
        return false;
    }
    void* found[14] = {};
    for (int i = 0; i < 14; ++i) {
        dlerror();
        found[i] = dlsym(h, kOperationNames[i]);
        if (!found[i]) {
            error_ = std::string("operation ") + kOperationNames[i] + " missing in " + path;
            dlclose(h);
            return false;
        }
    }
    connected_ = reinterpret_cast<SerialConnectedFn>(found[0]);
    open_ = reinterpret_cast<SerialOpenFn>(found[1]);
    close_ = reinterpret_cast<SerialCloseFn>(found[2]);
    clearBuffers_ = reinterpret_cast<SerialClearBuffersFn>(found[3]);
    setBaudrate_ = reinterpret_cast<SerialSetBaudrateFn>(found[4]);
    writeTimeouts_ = reinterpret_cast<SerialWriteTimeoutsFn>(found[5]);
    readTimeouts_ = reinterpret_cast<SerialReadTimeoutsFn>(found[6]);
    write_ = reinterpret_cast<SerialWriteFn>(found[7]);
    read_ = reinterpret_cast<SerialReadFn>(found[8]);
    setTwoStopBits_ = reinterpret_cast<SerialSetTwoStopBitsFn>(found[9]);
    setParity_ = reinterpret_cast<SerialSetParityFn>(found[10]);
    setDTR_ = reinterpret_cast<SerialSetDTRFn>(found[11]);
    setRTS_ = reinterpret_cast<SerialSetRTSFn>(found[12]);
    inputCount_ = reinterpret_cast<SerialInputCountFn>(found[13]);
    handle_ = h;
    return true;
}

void SerialLibrary::Unload()
{
    if (!handle_)
        return;
    dlclose(handle_);
    handle_ = nullptr;
    connected_ = nullptr;
    open_ = nullptr;
    close_ = nullptr;
    clearBuffers_ = nullptr;
    setBaudrate_ = nullptr;
    writeTimeouts_ = nullptr;
    readTimeouts_ = nullptr;
    write_ = nullptr;
    read_ = nullptr;
    setTwoStopBits_ = nullptr;
    setParity_ = nullptr;
    setDTR_ = nullptr;
    setRTS_ = nullptr;
    inputCount_ = nullptr;
}

int SerialLibrary::OpenPort(const std::string& portName) const
{
    if (!handle_)
        return 1;
    if (!connected_())
        open_(portName.c_str(), 0);
    if (!connected_())
        return 1;
    writeTimeouts_(0, 100);
    readTimeouts_(0, 0, 100);
    setBaudrate_(115200);
    clearBuffers_(1, 1);
    return 0;
}

void SerialLibrary::ClosePort() const
{
    if (handle_ && connected_())
        close_();
}

} // namespace km7
