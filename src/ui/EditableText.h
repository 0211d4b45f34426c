#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QPushButton;

// A one-line editor that commits only on request: its save and cancel buttons
// show while the typed text differs from the committed one (and is not empty);
// Save or Return commits and announces the text, Cancel or hiding reverts.
class EditableText : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxLength = 50;

    explicit EditableText(QWidget *parent = nullptr);

    // Commits `text` and announces it, unless the field already shows it (which
    // lets two editors feed each other without looping).
    void setText(const QString &text);
    QString text() const { return m_committed; }

signals:
    void textChanged(QString newText);

public slots:
    void saveEditedText();
    void cancelEditedText();
    void closeEditor();
    void onTextEdited(const QString &newText);

protected:
    bool event(QEvent *e) override;

private:
    void setButtonsVisible(bool visible);
    // The style sheet draws an empty field (its placeholder) lighter than a value.
    void updateEmptyLook();
    bool isDirty() const;

    QLineEdit *m_edit;
    QPushButton *m_save;
    QPushButton *m_cancel;
    QString m_committed;
};
