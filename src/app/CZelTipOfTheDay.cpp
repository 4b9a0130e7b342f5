#include "app/CZelTipOfTheDay.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/Orvo2Art.h"
#include "settings/CZelSettings.h"
#include "ui/DarkLook.h"
#include "ui/controls/ControlColours.h"

namespace {

using namespace controlcolours;

constexpr int kTipTextWidth = 360;
constexpr int kStripWidth = 72;

// The strip down the window's left side, with a lit bulb near its top.
class BulbStrip : public QWidget {
public:
    explicit BulbStrip(QWidget* parent) : QWidget(parent) {
        setFixedWidth(kStripWidth);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient back(0.0, 0.0, 0.0, height());
        back.setColorAt(0.0, QColor(kPanelDeep));
        back.setColorAt(1.0, QColor(kBevelDark));
        painter.fillRect(rect(), back);
        painter.setPen(QColor(kBevelLight).darker(140));
        painter.drawLine(QPointF(width() - 0.5, 0.0), QPointF(width() - 0.5, height()));

        const QPointF glass(width() / 2.0, 44.0);
        const qreal radius = 15.0;
        const QColor amber(kLedAmber);

        QRadialGradient glow(glass, radius * 2.6);
        glow.setColorAt(0.0, QColor(amber.red(), amber.green(), amber.blue(), 120));
        glow.setColorAt(1.0, QColor(amber.red(), amber.green(), amber.blue(), 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawEllipse(glass, radius * 2.6, radius * 2.6);

        // Rays all round but below, where the base is.
        painter.setPen(
            QPen(QColor(amber.red(), amber.green(), amber.blue(), 190), 2.0, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 8; ++i) {
            const double angle = std::numbers::pi * (-1.0 + i / 7.0) * 1.2 + std::numbers::pi * 0.1;
            const QPointF direction(std::cos(angle), std::sin(angle));
            painter.drawLine(glass + direction * (radius + 6.0), glass + direction * (radius + 12.0));
        }

        // The glass narrows into a neck that meets the screw base.
        QPainterPath bulb;
        bulb.addEllipse(glass, radius, radius);
        QPainterPath neck;
        neck.moveTo(glass + QPointF(-radius * 0.75, radius * 0.6));
        neck.lineTo(glass + QPointF(radius * 0.75, radius * 0.6));
        neck.lineTo(glass + QPointF(radius * 0.45, radius * 1.45));
        neck.lineTo(glass + QPointF(-radius * 0.45, radius * 1.45));
        neck.closeSubpath();
        bulb = bulb.united(neck);
        QRadialGradient lit(glass - QPointF(4.0, 5.0), radius * 1.6);
        lit.setColorAt(0.0, QColor(0xff, 0xfb, 0xe0));
        lit.setColorAt(0.5, QColor(0xff, 0xe0, 0x7a));
        lit.setColorAt(1.0, amber);
        painter.setPen(QPen(amber.darker(150), 1.0));
        painter.setBrush(lit);
        painter.drawPath(bulb);

        // Filament.
        painter.setPen(QPen(QColor(kPointer).darker(120), 1.2));
        painter.setBrush(Qt::NoBrush);
        QPainterPath filament;
        filament.moveTo(glass + QPointF(-4.0, radius * 1.4));
        filament.lineTo(glass + QPointF(-4.0, 2.0));
        for (int i = 0; i < 4; ++i) filament.lineTo(glass + QPointF(-3.0 + 2.0 * i, i % 2 ? 2.0 : -1.0));
        filament.lineTo(glass + QPointF(4.0, 2.0));
        filament.lineTo(glass + QPointF(4.0, radius * 1.4));
        painter.drawPath(filament);

        // Screw base: metal bands and the contact.
        const qreal baseWidth = radius * 0.95;
        qreal y = glass.y() + radius * 1.45;
        painter.setPen(QPen(QColor(kBevelDark), 0.8));
        for (int band = 0; band < 3; ++band) {
            QLinearGradient metal(glass.x() - baseWidth / 2.0, 0.0, glass.x() + baseWidth / 2.0, 0.0);
            metal.setColorAt(0.0, QColor(kMetalDark));
            metal.setColorAt(0.4, QColor(kMetalLight));
            metal.setColorAt(1.0, QColor(kMetalDark));
            painter.setBrush(metal);
            painter.drawRoundedRect(QRectF(glass.x() - baseWidth / 2.0, y, baseWidth, 4.0), 1.5, 1.5);
            y += 4.0;
        }
        painter.setBrush(QColor(kPanelRaised));
        painter.drawRoundedRect(QRectF(glass.x() - baseWidth / 4.0, y, baseWidth / 2.0, 3.5), 1.5, 1.5);
    }
};

}  // namespace

CZelTipOfTheDay::CZelTipOfTheDay(const CZelSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    BuildTipList();
    CreateControls();
    showTips_->setChecked(true);
    ShowTip(StoredIndex());
}

bool CZelTipOfTheDay::ShowAtStartUpIfWanted(const CZelSettings& settings, QWidget* parent) {
    if (!settings.ShowTipOfTheDay().value) return false;
    CZelTipOfTheDay dialog(settings, parent);
    dialog.exec();
    return true;
}

void CZelTipOfTheDay::BuildTipList() {
    tips_.clear();
    tips_.append(
        "To get started:\n\n1. Click the chooser box on Deck A that says \"Nothing Loaded\"\n2. Select "
        "\"Browse...\"\n3. Choose a sound file\n4. Click the play/pause button.");
    tips_.append("Double click an item on the play list to send it to a deck.");
    tips_.append("If you don't have Nero installed you can't play CDs.");
    tips_.append(
        "Some keyboard shortcuts:\n\nQ: Deck A Cue\nW: Deck A Play\nO: Deck B Cue\nP: Deck B Play\n");
    tips_.append(
        "More keyboard shortcuts:\n\n1-5: Deck A Position\n6-0: Deck B Position\nPgUp and PgDown: Master "
        "Volume\nCtrl-PgUp and Ctrl-PgDown: Headphones Volume\nT and G: Deck A Level\nY and H: Deck B "
        "Level\n\nHold Shift to move things faster.");
    tips_.append(
        "More keyboard shortcuts:\n\nR and F: Deck A Tempo\nU and J: Deck B Tempo\nB and N: Cross Fader "
        "Position\nCtrl-B and Ctrl-N: Headphones Cross Fader Position\nHome and End: Cross Fader Curve "
        "Adjust\n\nHold Shift to move things faster.");
    tips_.append(
        "More keyboard shortcuts:\n\nV: Cross Fader All Left\nM: Cross Fader All Right\nA,S,D: Deck A EQ "
        "Band Up\nZ,X,C: Deck A EQ Band Down\nCtrl-A,S,D: Deck B EQ Band Up\nCtrl-Z,X,C: Deck B EQ Band "
        "Down\n\nHold Shift to move things faster.");
    tips_.append("Keyboard shortcuts will not work if the play list is the active window.");
    tips_.append("To delete all items in the Play List: hold shift while clicking the delete button.");
    tips_.append(
        "Right clicking things resets them.  For instance, make the play list bigger, then right click the "
        "LIST button to put the Play List back in its place.");
    tips_.append(
        "You can split a four channel sound device so you can use the front and rear outputs separately for "
        "the headphones and main output.  This will however make their volume controls the same.");
    tips_.append("Neither effects or the equalizer will work on a split sound device.");
    tips_.append("You can only play backwards for about 7 seconds.");
    tips_.append(
        "If you want to record on the same computer: find a program called the Virtual Audio Cable.");
    tips_.append(
        "Some interesting facts about Orvo 2:\n\nThe LEDs spin at exactly 33 1/3 RPM when playing at normal "
        "speed and at CD samplng frequency.\n\nThere are significant number of golden rectangles in the "
        "layout.  See how many you can find.");
}

void CZelTipOfTheDay::CreateControls() {
    setWindowTitle(tr("Tip Of The Day"));
    setPalette(ui::DarkPalette(palette()));
    setAutoFillBackground(true);

    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->setSizeConstraint(QLayout::SetFixedSize);
    root->addWidget(new BulbStrip(this));

    auto* body = new QVBoxLayout;
    body->setContentsMargins(16, 14, 16, 14);
    body->setSpacing(10);
    root->addLayout(body);

    auto* heading = new QLabel(tr("Did you know..."), this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    if (headingFont.pointSizeF() > 0) headingFont.setPointSizeF(headingFont.pointSizeF() * 1.25);
    heading->setFont(headingFont);
    QPalette headingPalette = heading->palette();
    headingPalette.setColor(QPalette::WindowText, QColor(kLedAmber));
    heading->setPalette(headingPalette);
    body->addWidget(heading);

    // The tip sits on a sunken display panel.
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    QPalette panelPalette = panel->palette();
    panelPalette.setColor(QPalette::Window, QColor(kDisplayBack));
    panel->setPalette(panelPalette);
    panel->setAutoFillBackground(true);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(12, 10, 12, 10);
    tipText_ = new QLabel(panel);
    tipText_->setObjectName("tipText");
    tipText_->setTextFormat(Qt::PlainText);
    tipText_->setWordWrap(true);
    tipText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    panelLayout->addWidget(tipText_);
    body->addWidget(panel);

    // A fixed area tall enough for the longest tip, so the window never
    // changes size from one tip to the next.
    int height = 0;
    for (const QString& tip : tips_) {
        tipText_->setText(tip);
        height = std::max(height, tipText_->heightForWidth(kTipTextWidth));
    }
    tipText_->setFixedSize(kTipTextWidth, height);

    auto* buttons = new QHBoxLayout;
    showTips_ = new QCheckBox(tr("Show Tips At Startup"), this);
    showTips_->setObjectName("showTips");
    nextTip_ = new QPushButton(tr("Next Tip"), this);
    nextTip_->setObjectName("nextTip");
    ok_ = new QPushButton(tr("OK"), this);
    ok_->setObjectName("ok");
    ok_->setDefault(true);
    buttons->addWidget(showTips_);
    buttons->addStretch(1);
    buttons->addWidget(nextTip_);
    buttons->addWidget(ok_);
    body->addLayout(buttons);
    ok_->setFocus();

    connect(nextTip_, &QPushButton::clicked, this, &CZelTipOfTheDay::OnNextTip);
    connect(showTips_, &QCheckBox::clicked, this, &CZelTipOfTheDay::OnShowTipsClicked);
    connect(ok_, &QPushButton::clicked, this, &CZelTipOfTheDay::OnOk);
}

int CZelTipOfTheDay::StoredIndex() const {
    const int index = settings_.TipOfTheDayIndex().value;
    return index >= 0 && index < TipCount() ? index : 0;
}

void CZelTipOfTheDay::ShowTip(int index) {
    tipText_->setText(tips_.at(index));
}

void CZelTipOfTheDay::OnNextTip() {
    const int index = NextIndex();
    settings_.WriteTipOfTheDayIndex(index);
    ShowTip(index);
}

void CZelTipOfTheDay::OnShowTipsClicked(bool checked) {
    settings_.WriteShowTipOfTheDay(checked);
}

void CZelTipOfTheDay::OnOk() {
    settings_.WriteTipOfTheDayIndex(NextIndex());
    accept();
}
