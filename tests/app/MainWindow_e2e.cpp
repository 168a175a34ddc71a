// The real program on a virtual X server with the demo devices: it starts, shows its window,
// records and plays back, and ends on SIGTERM with its settings written. The test runs itself
// again under xvfb-run; that child does the work.
#include "tests/SND/WavTestFiles.h"
#include "tests/app/EditorTesting.h"
#include "tests/support/TestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace sonari::test {
namespace {

constexpr char kChildVariable[] = "SONARI_XVFB_CHILD";
const QRgb kColumnGrey = qRgb(128, 128, 128); // the spacers between the step panels
constexpr int kColumnWidth = 237;
constexpr int kStepMargin = 6, kStepButtonSize = 28, kStepLeft = 8;

using namespace std::chrono_literals;

// A visible window titled `title` other than `except`; "" when none appears in `attempts`
// tenths of a second.
std::string WindowTitled(const std::string& title, const std::string& except = {},
                         int attempts = 150) {
    for (int attempt = 0; attempt < attempts; ++attempt, std::this_thread::sleep_for(100ms)) {
        std::string output;
        RunCommand("xdotool search --onlyvisible --name " + ShellQuote("^" + title + "$"), &output);
        std::istringstream ids(output);
        for (std::string id; ids >> id;)
            if (id != except)
                return id;
    }
    return {};
}

// The top row of a step's panel, below the grey spacer rows of the left column above it (after
// the toolbar, the heading and the steps before it); -1 when there is none.
int StepTop(const QImage& window, int tag) {
    const auto grey = [&](int y) {
        for (int x = 0; x < kColumnWidth - 1; ++x)
            if (window.pixel(x, y) != kColumnGrey)
                return false;
        return true;
    };
    for (int y = 0, bands = 0; y + 1 < window.height(); ++y)
        if (grey(y) && !grey(y + 1) && ++bands == tag + 2)
            return y + 1;
    return -1;
}

void RunUnderXvfb() {
    for (const char* program : {"xvfb-run", "xdotool", "import"})
        ASSERT_TRUE(HaveProgram(program)) << program << " is needed (scripts/install-deps --test)";
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string output;
    const int status = RunCommand(std::string(kChildVariable) + "=1 xvfb-run -a -s " +
                                      ShellQuote("-screen 0 1280x800x24") + " " + ShellQuote(self) +
                                      " --gtest_filter=MainWindowUnderX11." + test + " 2>&1",
                                  &output);
    EXPECT_EQ(status, 0) << output;
}

// The program started with the demo devices and a private home; its window found.
struct TX11Session {
    // `settings` is the settings file the program finds at its start.
    explicit TX11Session(const std::string& settings) {
        std::filesystem::create_directories(Runtime);
        std::filesystem::permissions(Runtime, std::filesystem::perms::owner_all);
        std::filesystem::create_directories(Settings.parent_path());
        WriteFileBytes(Settings, settings);
        Sonari = StartCopy();
        if (Sonari->Started())
            Window = WindowTitled("Sonari");
        std::this_thread::sleep_for(500ms); // painted
    }

    // A copy of the program for the same user.
    std::unique_ptr<TChild> StartCopy() const {
        return std::make_unique<TChild>(
            std::vector<std::string>{(BinaryDir() / "bin/sonari").string()},
            std::vector<std::string>{"HOME=" + Home.string(),
                                     "XDG_CONFIG_HOME=" + (Home / ".config").string(),
                                     "XDG_RUNTIME_DIR=" + Runtime.string(), "SONARI_AUDIO=sim"});
    }

    // The window as the screen shows it.
    QImage Shot() const {
        const auto screen = Dir / "screen.png";
        RunCommand("import -window " + Window + " " + ShellQuote(screen.string()));
        return QImage(QString::fromStdString(screen.string()));
    }

    // A left click at (x, y) in window coordinates.
    void Click(int x, int y) const {
        RunCommand("xdotool mousemove --window " + Window + " " + std::to_string(x) + " " +
                   std::to_string(y) + " click 1");
    }

    void ClickStep(const QImage& shot, int tag) const {
        Click(kStepLeft + kStepButtonSize / 2,
              StepTop(shot, tag) + kStepMargin + kStepButtonSize / 2);
    }

    TTempDir Dir{"sonari-xvfb"};
    const std::filesystem::path Runtime = Dir / "run", Home = Dir / "home";
    const std::filesystem::path Settings = Home / ".config/Brisko/Products/sonari/sonari.ini";
    std::string Window; // its X11 id; empty when none appeared
    std::unique_ptr<TChild> Sonari;
};

// Steps 3 and 4 with the demo devices, as a newcomer would go. The settings already hold the
// devices, so the program must write them on SIGTERM for [Window] to appear.
TEST(MainWindowUnderX11, RecordsAndPlaysBackTheDemoVoice) {
    if (qEnvironmentVariableIsEmpty(kChildVariable))
        return RunUnderXvfb();

    TX11Session session("[Audio]\nInputDevice=01  Demo microphone\n"
                        "OutputDevice=02  Demo transmitter\n");
    ASSERT_FALSE(session.Window.empty()) << "no window titled Sonari appeared";
    const QImage start = session.Shot();
    EXPECT_EQ(start.size(), QSize(822, 527));

    session.ClickStep(start, 3);
    // The prompt is a second window of the same title; OK is its default button.
    const std::string prompt = WindowTitled("Sonari", session.Window, 100);
    ASSERT_FALSE(prompt.empty()) << "no recording prompt";
    RunCommand("xdotool windowfocus --sync " + prompt + " key Return");
    const auto voice = session.Settings.parent_path() / "Wav/Voice.wav";
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (WavFrames(voice.string()) < 60000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(200ms);
    ASSERT_GE(WavFrames(voice.string()), 60000) << "the recording did not complete";
    std::this_thread::sleep_for(500ms);

    session.ClickStep(start, 4);
    std::this_thread::sleep_for(3s); // the output figures close every 2.13 s
    const QImage equalizer = session.Shot();
    const int pagesBottom = StepTop(start, 2) + 150; // well below the tab row
    EXPECT_GT(CountColour(equalizer, qRgb(0, 255, 0), kColumnWidth, pagesBottom), 0)
        << "no output level";

    session.Click(kColumnWidth + 120, 16); // the second tab, "Clipper"
    std::this_thread::sleep_for(1s);
    const QRect plot(kColumnWidth + 20, 40, 500, 200);
    EXPECT_NE(equalizer.copy(plot), session.Shot().copy(plot)) << "the Clipper page did not open";

    // A second start hands over to the running copy and ends.
    EXPECT_EQ(session.StartCopy()->Wait(10s), 0);
    EXPECT_TRUE(WindowTitled("Sonari", session.Window, 1).empty());
    session.Sonari->Signal(SIGTERM);
    EXPECT_EQ(session.Sonari->Wait(10s), 0);
    EXPECT_NE(ReadFileBytes(session.Settings).find("[Window]"), std::string::npos);
}

} // namespace
} // namespace sonari::test
