#pragma once

#include "BaseCommand.h"

#include <QVector>

#include <deque>
#include <memory>

// An ordered list of commands that owns them: builders return one, lists are
// joined by moving, and a runner takes one over. Small on purpose; it exists so
// that a list which never reaches a runner cannot leak its commands.
class CommandList
{
public:
    CommandList();
    CommandList(CommandList &&other) noexcept;
    CommandList &operator=(CommandList &&other) noexcept;
    CommandList(const CommandList &) = delete;
    CommandList &operator=(const CommandList &) = delete;
    ~CommandList();

    // Returns the command, still owned by the list.
    BaseCommand *append(std::unique_ptr<BaseCommand> command);
    void append(CommandList &&other);
    CommandList &operator<<(CommandList &&other);
    void prepend(std::unique_ptr<BaseCommand> command);
    std::unique_ptr<BaseCommand> takeFirst();

    int size() const;
    bool isEmpty() const;
    BaseCommand *at(int index) const;
    BaseCommand *first() const;
    BaseCommand *last() const;
    void clear();

    // Marks the end of one item of a job (an upload's picture, say): the runner
    // reports its progress as the number of checkpoints passed of all of them.
    void markCheckpoint();
    // The list's size at each mark, in order.
    QVector<int> checkpoints() const;

private:
    std::deque<std::unique_ptr<BaseCommand>> m_commands;
    QVector<int> m_checkpoints;
};
