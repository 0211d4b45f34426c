#include "RetryGroup.h"

#include "CommandList.h"

BaseCommand *RetryGroup::take(CommandList &queue)
{
    std::unique_ptr<BaseCommand> command = queue.takeFirst();
    BaseCommand *taken = command.get();
    if (command->groupPosition() == BaseCommand::GroupFirst)
        m_group.clear(); // a group that never closed ends where the next one opens
    if (m_group.empty() && command->groupPosition() != BaseCommand::GroupFirst) {
        m_single = std::move(command);
        return taken;
    }
    m_closes = command->groupPosition() == BaseCommand::GroupLast;
    m_group.push_back(std::move(command));
    return taken;
}

bool RetryGroup::retry(CommandList &queue)
{
    if (m_group.empty())
        return false;
    BaseCommand *head = m_group.front().get();
    if (head->maxRetries() <= head->retryCount())
        return false;
    head->setRetryCount(head->retryCount() + 1);
    while (!m_group.empty()) {
        queue.prepend(std::move(m_group.back()));
        m_group.pop_back();
    }
    return true;
}

void RetryGroup::done()
{
    m_single.reset();
    if (m_closes)
        m_group.clear();
    m_closes = false;
}
