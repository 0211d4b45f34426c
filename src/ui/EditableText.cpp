#include "EditableText.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

EditableText::EditableText(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit(this))
    , m_save(new QPushButton(tr("   Save Location   "), this))
    , m_cancel(new QPushButton(tr("Cancel"), this))
{
    m_edit->setObjectName(QStringLiteral("locationEdit"));
    m_edit->setPlaceholderText(tr("Untitled Location"));
    m_edit->setAccessibleName(tr("Default location"));
    m_edit->setMaxLength(kMaxLength);
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);

    connect(m_save, &QPushButton::clicked, this, &EditableText::saveEditedText);
    connect(m_cancel, &QPushButton::clicked, this, &EditableText::cancelEditedText);
    connect(m_edit, &QLineEdit::textChanged, this, &EditableText::onTextEdited);
    connect(m_edit, &QLineEdit::returnPressed, this, &EditableText::closeEditor);
    setButtonsVisible(false);
    updateEmptyLook();
}

void EditableText::setText(const QString &text)
{
    if (m_edit->text() == text)
        return;
    m_committed = text;
    m_edit->setText(text);
    emit textChanged(text);
}

void EditableText::onTextEdited(const QString &newText)
{
    updateEmptyLook();
    setButtonsVisible(!newText.isEmpty() && newText != m_committed);
}

void EditableText::saveEditedText()
{
    m_committed = m_edit->text();
    m_edit->clearFocus();
    setButtonsVisible(false);
    emit textChanged(m_committed);
}

void EditableText::cancelEditedText()
{
    m_edit->setText(m_committed);
    m_edit->clearFocus();
    setButtonsVisible(false);
}

void EditableText::closeEditor()
{
    if (isDirty())
        saveEditedText();
    else
        m_edit->clearFocus();
}

bool EditableText::event(QEvent *e)
{
    if (e->type() == QEvent::Hide)
        cancelEditedText();
    return QWidget::event(e);
}

void EditableText::setButtonsVisible(bool visible)
{
    m_save->setVisible(visible);
    m_cancel->setVisible(visible);
}

void EditableText::updateEmptyLook()
{
    const bool empty = m_edit->text().isEmpty();
    if (m_edit->property("empty").toBool() == empty && m_edit->property("empty").isValid())
        return;
    m_edit->setProperty("empty", empty);
    m_edit->style()->unpolish(m_edit);
    m_edit->style()->polish(m_edit);
}

bool EditableText::isDirty() const
{
    // The buttons stand for an uncommitted change; hidden widgets report it too.
    return !m_save->isHidden();
}
