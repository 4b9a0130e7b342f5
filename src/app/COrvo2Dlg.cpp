#include "app/COrvo2Dlg.h"

#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CZelCommandLineInfo.h"
#include "app/EngineEvents.h"
#include "engine/Engine.h"
#include "engine/StreamTime.h"
#include "platform/MessagePort.h"

using platform::Message;

COrvo2Dlg::DeckLabel::DeckLabel(QLabel* label, const QString& deckName) : label_(label), deckName_(deckName) {
    ShowNothingLoaded();
}

void COrvo2Dlg::DeckLabel::ShowNothingLoaded() { label_->setText(deckName_ + ": Nothing Loaded"); }

void COrvo2Dlg::DeckLabel::TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) {
    const QString shown = title.empty() ? QFileInfo(QString::fromStdString(path)).fileName() : QString::fromStdString(title);
    label_->setText(deckName_ + ": " + shown + "   " + QString::fromStdString(engine::FormatTime(lengthSeconds)));
}

COrvo2Dlg::COrvo2Dlg(app::EngineEvents& events, app::CZelCommandLineInfo& commandLine, QWidget* parent)
    : QDialog(parent), commandLine_(commandLine), port_(std::make_unique<platform::MessagePort>()) {
    setWindowTitle("Orvo 2");
    setMinimumSize(480, 160);
    auto* layout = new QVBoxLayout(this);
    for (int deck = 0; deck < 2; ++deck) {
        auto* label = new QLabel(this);
        layout->addWidget(label);
        deckLabels_[deck] = std::make_unique<DeckLabel>(label, deck == 0 ? "Deck A" : "Deck B");
    }

    engine_ = std::make_unique<engine::Engine>(events, *port_);
    for (int deck = 0; deck < 2; ++deck) engine_->SetDeckLink(deck, deckLabels_[deck].get());
    port_->SetHandler([this](Message m, uintptr_t w, intptr_t l) { return OnMessage(m, w, l); });

    // Start-up runs once the modal loop is running, so that the threads it
    // starts find the window's messages served.
    QTimer::singleShot(0, this, &COrvo2Dlg::StartUp);
}

COrvo2Dlg::~COrvo2Dlg() {
    engine_->Shutdown();
    port_->Close();
}

void COrvo2Dlg::StartUp() {
    startingUp_ = true;
    engine_->StartTrackLengthThread();
    setFocus();
    LoadCommandLineFiles();
    startingUp_ = false;
    if (closeRequested_) done(closeResult_);
}

void COrvo2Dlg::LoadCommandLineFiles() {
    // Every loadable file is loaded in turn; Deck A ends holding the last one.
    // With no file the loop runs once with an empty path, which fails quietly.
    bool isLast = false;
    do {
        const QString path = commandLine_.GetNextFile(isLast);
        engine_->LoadFile(0, path.toStdString());
    } while (!isLast && !closeRequested_);
}

void COrvo2Dlg::done(int result) {
    // A close asked for while start-up waits on a thread is carried out when
    // start-up has finished, so nothing is torn down under its feet.
    if (startingUp_) {
        closeRequested_ = true;
        closeResult_ = result;
        return;
    }
    engine_->Shutdown();
    QDialog::done(result);
}

intptr_t COrvo2Dlg::OnMessage(Message message, uintptr_t wParam, intptr_t /*lParam*/) {
    const int deck = wParam == 1 ? 1 : 0;
    switch (message) {
        case Message::BlockDecoded:
            break;  // nothing to do: a block was decoded
        case Message::EndOfTrack:
            engine_->OnEndOfTrack(deck);
            break;
        case Message::TrackLengthMeasured:
            engine_->OnTrackLengthMeasured();
            break;
        default:
            break;
    }
    return 0;
}
