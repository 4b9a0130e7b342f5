#include "app/CAboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Orvo2Art.h"
#include "ui/DarkLook.h"
#include "ui/controls/ControlColours.h"

namespace {
constexpr int kIconSize = 48;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Orvo2"));
    setModal(true);
    setPalette(ui::DarkPalette(palette()));
    setAutoFillBackground(true);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(18, 16, 18, 14);
    root->setSpacing(14);
    root->setSizeConstraint(QLayout::SetFixedSize);

    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    auto* icon = new QLabel(this);
    icon->setObjectName("icon");
    icon->setPixmap(app::ApplicationIcon().pixmap(kIconSize, kIconSize));
    icon->setFixedSize(kIconSize, kIconSize);
    top->addWidget(icon, 0, Qt::AlignTop);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(4);
    auto* version = new QLabel(tr("Orvo 2 Version %1").arg(QLatin1String(app::kVersionText)), this);
    version->setObjectName("version");
    QFont versionFont = version->font();
    versionFont.setBold(true);
    version->setFont(versionFont);
    auto* secondLine = new QLabel(tr("A two-deck DJ mixing program for Linux"), this);
    secondLine->setObjectName("secondLine");
    QPalette dim = secondLine->palette();
    dim.setColor(QPalette::WindowText, QColor(controlcolours::kTextDim));
    secondLine->setPalette(dim);
    lines->addWidget(version);
    lines->addWidget(secondLine);
    lines->addStretch(1);
    top->addLayout(lines, 1);
    root->addLayout(top);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    root->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
