#include "shell/ui/About.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kWeb = QStringLiteral("https://zovrant.example.org");
const QString kMail = QStringLiteral("support@zovrant.example.org");

QFrame* Line(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// The decorative picture on the left: bands of blue with a rising curve of prices.
QPixmap BluePicture()
{
    QPixmap pixmap(153, 206);
    QPainter painter(&pixmap);
    QLinearGradient gradient(0, 0, 0, 206);
    gradient.setColorAt(0, QColor(10, 40, 120));
    gradient.setColorAt(1, QColor(120, 170, 230));
    painter.fillRect(pixmap.rect(), gradient);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(220, 235, 255), 3));
    const QPointF points[] = {{10, 170}, {35, 150}, {55, 160}, {80, 110}, {100, 120}, {125, 60}, {143, 40}};
    painter.drawPolyline(points, 7);
    return pixmap;
}

// A label that opens its hint's target when clicked: navy, blue under the mouse.
class TLinkLabel : public QLabel {
public:
    TLinkLabel(const QString& text, const QString& target, QWidget* parent) : QLabel(text, parent)
    {
        setToolTip(target);
        SetColour(QStringLiteral("navy"));
    }

protected:
    void enterEvent(QEnterEvent*) override
    {
        setCursor(Qt::PointingHandCursor);
        SetColour(QStringLiteral("blue"));
    }
    void leaveEvent(QEvent*) override
    {
        unsetCursor();
        SetColour(QStringLiteral("navy"));
    }
    void mouseReleaseEvent(QMouseEvent*) override { QDesktopServices::openUrl(QUrl(toolTip())); }

private:
    void SetColour(const QString& colour)
    {
        setStyleSheet(QStringLiteral("color: %1; text-decoration: underline;").arg(colour));
    }
};

} // namespace

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setFixedSize(503, 326);

    auto* picture = new QLabel(this);
    picture->setPixmap(BluePicture());

    auto* name = new QLabel(QStringLiteral("Zovrant"), this);
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPixelSize(32);
    name->setFont(nameFont);
    auto* description = new QLabel(
        QStringLiteral("Программа для автоматизации процесса торговли на фондовом рынке. Zovrant позволяет "
                       "создать торгового робота на основе программ Quik и Omega Research."),
        this);
    description->setWordWrap(true);
    auto* counterLabel = new QLabel(QStringLiteral("Отправленно транзакций:"), this);
    pnQty = new QLabel(QStringLiteral("0/0/0"), this);
    pnQty->setObjectName(QStringLiteral("pnQty"));
    pnQty->setFrameShape(QFrame::Panel);
    pnQty->setFrameShadow(QFrame::Sunken);
    pnQty->setAlignment(Qt::AlignCenter);
    auto* credit1 = new QLabel(QStringLiteral("Разработка: команда Zovrant"), this);
    auto* credit2 = new QLabel(QStringLiteral("Все права защищены"), this);
    lwww = new TLinkLabel(kWeb, kWeb, this);
    auto* ok = new QPushButton(QStringLiteral("ОК"), this);
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);

    auto* counters = new QHBoxLayout;
    counters->addWidget(counterLabel);
    counters->addWidget(pnQty, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(name);
    right->addWidget(description);
    right->addWidget(Line(this));
    right->addLayout(counters);
    right->addWidget(Line(this));
    right->addWidget(credit1);
    right->addWidget(credit2);
    right->addWidget(lwww);
    right->addStretch(1);
    right->addWidget(ok, 0, Qt::AlignRight);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(right, 1);

    auto* logo = new QLabel(QStringLiteral("Zovrant"), this);
    logo->setFixedSize(200, 61);
    logo->setAlignment(Qt::AlignCenter);
    logo->setStyleSheet(QStringLiteral("background: #0a2878; color: white; font-weight: bold; font-size: 24px;"));
    auto* support = new QLabel(QStringLiteral("Техническая поддержка:"), this);
    lmail = new TLinkLabel(QStringLiteral("e-mail: ") + kMail, QStringLiteral("mailto:") + kMail, this);
    auto* supportColumn = new QVBoxLayout;
    supportColumn->addWidget(support);
    supportColumn->addWidget(lmail);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(logo);
    bottom->addLayout(supportColumn, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(Line(this));
    layout->addLayout(bottom);
}

void TfmAbout::ShowCounters(qint32 transCounter, int transSentCount, int transDoneCount)
{
    pnQty->setText(QStringLiteral("%1/%2/%3").arg(transCounter).arg(transSentCount).arg(transDoneCount));
    show();
    raise();
    activateWindow();
}
