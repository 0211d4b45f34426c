#pragma once

#include "BaseCommand.h"

#include <deque>
#include <memory>

class CommandList;

// The command being executed and, while a retry group is open, the group's
// commands so far, so that after a recovered link the whole group can be queued
// again. A group opens with a GroupFirst command and closes after its GroupLast
// one; a command outside any group is dropped as soon as it is done.
class RetryGroup
{
public:
    // Takes the next command off the queue; returns it, still owned here.
    BaseCommand *take(CommandList &queue);
    // Queues the open group again in front of `queue` when its first command
    // allows another try; false when there is nothing to retry.
    bool retry(CommandList &queue);
    // The command taken last is done: drop it, or the whole group once it closed.
    void done();

private:
    std::deque<std::unique_ptr<BaseCommand>> m_group;
    std::unique_ptr<BaseCommand> m_single;
    bool m_closes = false;
};
