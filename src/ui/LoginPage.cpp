#include "LoginPage.h"

#include "CloudAddresses.h"
#include "UiResources.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

const QString LoginPage::InvalidEmailText = QStringLiteral("Invalid email address.");
const QString LoginPage::ShortPasswordText = QStringLiteral("Password is to short.");

namespace {

constexpr int kPanelWidth = 640;

} // namespace

LoginPage::LoginPage(QWidget *parent)
    : QWidget(parent)
{
    UiResources::ensureLoaded();
    // The page's style sheet draws its background picture.
    setAttribute(Qt::WA_StyledBackground, true);
    auto *logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logoLabel"));
    logo->setPixmap(UiResources::picture(QStringLiteral(":/img/TAMO-logo.png")));
    logo->setScaledContents(false);
    logo->setAlignment(Qt::AlignCenter);
    auto *slogan = new QLabel(tr("Your brand, on every TAMO"), this);
    slogan->setObjectName(QStringLiteral("sloganLabel"));
    slogan->setAlignment(Qt::AlignCenter);

    QWidget *loginPanel = buildLoginPanel();
    QWidget *expressPanel = buildExpressPanel();

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addStretch(3);
    layout->addWidget(logo);
    layout->addSpacing(6);
    layout->addWidget(slogan);
    layout->addSpacing(28);
    layout->addWidget(loginPanel, 0, Qt::AlignHCenter);
    layout->addSpacing(16);
    layout->addWidget(expressPanel, 0, Qt::AlignHCenter);
    layout->addStretch(4);

    setTabOrder(m_email, m_password);
    setTabOrder(m_password, m_showPass);
    setTabOrder(m_showPass, m_loginButton);
    setTabOrder(m_loginButton, m_fwButton);

    connect(m_loginButton, &QPushButton::clicked, this, &LoginPage::slotLoginClicked);
    connect(m_password, &QLineEdit::returnPressed, this, &LoginPage::slotLoginClicked);
    connect(m_email, &QLineEdit::returnPressed, this, &LoginPage::slotLoginClicked);
    connect(m_fwButton, &QPushButton::clicked, this, &LoginPage::dfuTriggered);
    connect(m_showPass, &QCheckBox::stateChanged, this, &LoginPage::slotShowPass);
    m_email->setFocus();
}

QWidget *LoginPage::buildLoginPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("loginWidget"));
    panel->setAttribute(Qt::WA_StyledBackground, true);
    panel->setFixedWidth(kPanelWidth);

    m_email = new QLineEdit(panel);
    m_email->setObjectName(QStringLiteral("emailLineEdit"));
    m_email->setPlaceholderText(tr("Enter Email"));
    m_email->setAccessibleName(tr("E-mail"));
    m_password = new QLineEdit(panel);
    m_password->setObjectName(QStringLiteral("passLineEdit"));
    m_password->setPlaceholderText(tr("Enter Password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setAccessibleName(tr("Password"));
    m_showPass = new QCheckBox(panel);
    m_showPass->setObjectName(QStringLiteral("showPassCheckBox"));
    m_showPass->setToolTip(tr("Show the password"));
    m_showPass->setAccessibleName(tr("Show the password"));
    auto *forgot = new QLabel(tr("Forgot Password?"), panel);
    forgot->setObjectName(QStringLiteral("forgotPassLabel"));
    forgot->setText(QStringLiteral("<a href=\"%1\" style=\"color: white; text-decoration:none;\">%2</a>")
                        .arg(CloudAddresses::portalUrl().toHtmlEscaped() + QStringLiteral("/reset"),
                             tr("Forgot Password?")));
    forgot->setTextFormat(Qt::RichText);
    forgot->setTextInteractionFlags(Qt::TextBrowserInteraction);
    forgot->setOpenExternalLinks(true);

    auto *grid = new QGridLayout;
    grid->setContentsMargins(50, 40, 25, 10);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->addWidget(m_email, 0, 0);
    grid->addWidget(m_password, 0, 1);
    grid->addWidget(m_showPass, 0, 2);
    grid->addWidget(forgot, 1, 1, Qt::AlignRight);

    m_loginButton = new QPushButton(tr("&Login"), panel);
    m_loginButton->setObjectName(QStringLiteral("loginButton"));
    m_loginButton->setFocusPolicy(Qt::StrongFocus);
    m_loginButton->setCursor(Qt::PointingHandCursor);
    auto *button = new QHBoxLayout;
    button->setContentsMargins(215, 10, 215, 30);
    button->addWidget(m_loginButton);

    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(grid);
    layout->addLayout(button);
    return panel;
}

QWidget *LoginPage::buildExpressPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("fwUpgradeWidget"));
    panel->setAttribute(Qt::WA_StyledBackground, true);
    panel->setFixedWidth(kPanelWidth);
    m_fwButton = new QPushButton(tr("&Express Firmware Upgrade"), panel);
    m_fwButton->setObjectName(QStringLiteral("fwButton"));
    m_fwButton->setCursor(Qt::PointingHandCursor);
    auto *layout = new QHBoxLayout(panel);
    layout->setContentsMargins(20, 18, 20, 18);
    layout->addStretch();
    layout->addWidget(m_fwButton);
    layout->addStretch();
    return panel;
}

const QRegularExpression &LoginPage::emailPattern()
{
    // Top-level labels of any length from two letters: operators at .company or
    // .consulting addresses log in too.
    static const QRegularExpression pattern(QStringLiteral(
        "(\\s*+)(?:([\\w._%+-]+@[\\w-]+(?!\\.(gif|jpeg|jpg|png|bmp|js|css))(\\.[A-Za-z]{2,})+))(\\s*+)\\b"));
    return pattern;
}

bool LoginPage::isValidEmail(const QString &trimmedEmail)
{
    const QRegularExpressionValidator validator(emailPattern());
    QString text = trimmedEmail;
    int position = 0;
    return validator.validate(text, position) == QValidator::Acceptable;
}

void LoginPage::slotLoginClicked()
{
    const QString email = m_email->text().trimmed();
    const QString password = m_password->text();
    if (!isValidEmail(email)) {
        emit errorOccurred(InvalidEmailText);
        return;
    }
    if (password.size() < kMinPasswordLength) {
        emit errorOccurred(ShortPasswordText);
        return;
    }
    setInputsEnabled(false);
    emit loginClicked(email, password);
}

void LoginPage::slotShowPass(int state)
{
    m_password->setEchoMode(state == Qt::Checked ? QLineEdit::Normal : QLineEdit::Password);
}

void LoginPage::setInputsEnabled(bool enabled)
{
    m_showPass->setEnabled(enabled);
    m_email->setEnabled(enabled);
    m_password->setEnabled(enabled);
    m_loginButton->setEnabled(enabled);
    m_fwButton->setEnabled(enabled);
    // Back after an answer: the operator most likely retypes the password.
    if (enabled)
        m_password->setFocus();
}

void LoginPage::clearInputs()
{
    m_email->clear();
    m_password->clear();
    m_email->setFocus();
}
