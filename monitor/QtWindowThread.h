// The device link's view of the Qt window thread.
#pragma once

#include "link/WindowThread.h"

namespace km7 {

class QtWindowThread : public WindowThread {
public:
    void Post(std::function<void()> fn) override;
    void ProcessMessages(int maxWaitMs = -1) override;
};

} // namespace km7
