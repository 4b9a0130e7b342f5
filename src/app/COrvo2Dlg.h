#pragma once

#include <QDialog>

#include <array>
#include <memory>

#include "engine/DeckLink.h"
#include "platform/Messages.h"

class QLabel;

namespace app {
class CZelCommandLineInfo;
struct EngineEvents;
}  // namespace app
namespace engine {
class Engine;
}
namespace platform {
class MessagePort;
}

// The main window. It owns the engine and receives the engine's messages; for
// now it shows what each deck holds, until the mixer and the deck windows
// take its place.
class COrvo2Dlg : public QDialog {
    Q_OBJECT
public:
    COrvo2Dlg(app::EngineEvents& events, app::CZelCommandLineInfo& commandLine, QWidget* parent = nullptr);
    ~COrvo2Dlg() override;

    engine::Engine& Engine() { return *engine_; }
    platform::MessagePort& MessagePort() { return *port_; }

    // The private-message dispatch table. UI thread only.
    intptr_t OnMessage(platform::Message message, uintptr_t wParam, intptr_t lParam);

public slots:
    void done(int result) override;

private:
    // What the deck windows will do; here a line of text per deck.
    class DeckLabel final : public engine::DeckLink {
    public:
        DeckLabel(QLabel* label, const QString& deckName);
        bool IsPlaying() const override { return false; }
        void Pause() override {}
        void ShowNothingLoaded() override;
        void TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) override;
        void ResetLeds() override {}

    private:
        QLabel* label_;
        QString deckName_;
    };

    void StartUp();
    void LoadCommandLineFiles();

    app::CZelCommandLineInfo& commandLine_;
    std::unique_ptr<platform::MessagePort> port_;
    std::unique_ptr<engine::Engine> engine_;
    std::array<std::unique_ptr<DeckLabel>, 2> deckLabels_;
    bool startingUp_ = false;
    bool closeRequested_ = false;
    int closeResult_ = 0;
};
