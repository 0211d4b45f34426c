#include "CommandList.h"

#include <iterator>

CommandList::CommandList() = default;
CommandList::CommandList(CommandList &&other) noexcept = default;
CommandList &CommandList::operator=(CommandList &&other) noexcept = default;
CommandList::~CommandList() = default;

BaseCommand *CommandList::append(std::unique_ptr<BaseCommand> command)
{
    BaseCommand *raw = command.get();
    if (command)
        m_commands.push_back(std::move(command));
    return raw;
}

void CommandList::append(CommandList &&other)
{
    if (&other == this)
        return;
    for (int checkpoint : qAsConst(other.m_checkpoints))
        m_checkpoints.append(size() + checkpoint);
    other.m_checkpoints.clear();
    m_commands.insert(m_commands.end(), std::make_move_iterator(other.m_commands.begin()),
                      std::make_move_iterator(other.m_commands.end()));
    other.m_commands.clear();
}

CommandList &CommandList::operator<<(CommandList &&other)
{
    append(std::move(other));
    return *this;
}

void CommandList::prepend(std::unique_ptr<BaseCommand> command)
{
    if (command)
        m_commands.push_front(std::move(command));
}

std::unique_ptr<BaseCommand> CommandList::takeFirst()
{
    if (m_commands.empty())
        return nullptr;
    std::unique_ptr<BaseCommand> command = std::move(m_commands.front());
    m_commands.pop_front();
    return command;
}

int CommandList::size() const
{
    return int(m_commands.size());
}

bool CommandList::isEmpty() const
{
    return m_commands.empty();
}

BaseCommand *CommandList::at(int index) const
{
    if (index < 0 || index >= size())
        return nullptr;
    return m_commands[std::size_t(index)].get();
}

BaseCommand *CommandList::first() const
{
    return m_commands.empty() ? nullptr : m_commands.front().get();
}

BaseCommand *CommandList::last() const
{
    return m_commands.empty() ? nullptr : m_commands.back().get();
}

void CommandList::clear()
{
    m_commands.clear();
    m_checkpoints.clear();
}

void CommandList::markCheckpoint()
{
    m_checkpoints.append(size());
}

QVector<int> CommandList::checkpoints() const
{
    return m_checkpoints;
}
