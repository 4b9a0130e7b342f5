#include "app/SteppedDesk.h"

#include "engine/Engine.h"

namespace testing_support {

SteppedDesk::SteppedDesk(Devices devices, const std::function<void(CZelSettings&)>& prepare)
    : SteppedSound(std::move(devices)), settings_(QString::fromStdString(files.Path("settings.ini"))) {
    settings_.WriteShowTipOfTheDay(false);
    if (prepare) prepare(settings_);
    window_ = std::make_unique<COrvo2Dlg>(events_, commandLine_, Sound(), settings_);
    Serve(events_, window_->Engine(), window_->Playback());
    for (int deck = 0; deck < 2; ++deck) window_->Deck(deck).Transport().SetClock([this] { return clock_; });
    EXPECT_TRUE(
        WaitUntil([&] { return window_->MainOutput().IsOpen() || window_->HeadphonesOutput().IsOpen(); }));
}

void SteppedDesk::Load(int deck, const std::string& path) {
    Deck(deck).SetFileChooser(
        [path](QWidget*, const QString&) { return QStringList{QString::fromStdString(path)}; });
    Deck(deck).ChooseSource(engine::DeckTransport::kBrowseEntry);
    EXPECT_EQ(Deck(deck).Transport().Kind(), engine::DeckTransport::SourceKind::File) << path;
}

}  // namespace testing_support
