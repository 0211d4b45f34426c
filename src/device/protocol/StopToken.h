#pragma once

#include <atomic>
#include <memory>

// A stop request shared between a thread that works and whoever may ask it to
// stop, also after the worker itself is gone. Copies share the one flag. Waits
// taken through it look at the flag every few milliseconds.
class StopToken
{
public:
    StopToken();

    void request() const;
    bool isRequested() const;
    // Sleeps for `ms`; false when a stop request cut the sleep short.
    bool sleep(int ms) const;

private:
    std::shared_ptr<std::atomic<bool>> m_flag;
};
