#include "shell/ui/FileNameEdit.h"

#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

TFileNameEdit::TFileNameEdit(const QString& filter, QWidget* parent) : QWidget(parent), FFilter(filter)
{
    Edit = new QLineEdit(this);
    Browse = new QToolButton(this);
    Browse->setText(QStringLiteral("..."));
    Browse->setToolTip(QStringLiteral("Обзор"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(Edit, 1);
    layout->addWidget(Browse);
    setFocusProxy(Edit);
    Chooser = [](QWidget* owner, const QString& current, const QString& filter) {
        return QFileDialog::getOpenFileName(owner, QString(), QFileInfo(current).absolutePath(), filter);
    };
    connect(Browse, &QToolButton::clicked, this, &TFileNameEdit::BrowseClick);
}

void TFileNameEdit::BrowseClick()
{
    const QString chosen = Chooser(this, Edit->text(), FFilter);
    if (chosen.isEmpty())
        return;
    // As if typed: whoever follows the operator's edits hears of it.
    Edit->setText(QDir::toNativeSeparators(chosen));
    emit Edit->textEdited(Edit->text());
}
