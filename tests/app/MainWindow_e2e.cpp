// The real program on a virtual X server with the demo devices: it starts, shows its window,
// captures when step 2 is clicked and ends on SIGTERM with its settings written. The test runs
// itself again under xvfb-run; that child does the work.
#include "SND/WavFile.h"
#include "tests/support/TestSupport.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace sonari::test {
namespace {

constexpr char kChildVariable[] = "SONARI_XVFB_CHILD";
const QRgb kColumnGrey = qRgb(128, 128, 128); // the spacers between the step panels
constexpr int kColumnWidth = 237;
constexpr int kStepMargin = 6, kStepButtonSize = 28, kStepLeft = 8;

using namespace std::chrono_literals;

std::string Run(const std::string& command) {
    std::string output;
    RunCommand(command + " 2>/dev/null", &output);
    return output;
}

// The program as a child process with some variables of its own.
class TProgram {
public:
    TProgram(const std::string& path, const std::map<std::string, std::string>& overrides) {
        std::vector<std::string> env;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            if (!overrides.count(text.substr(0, text.find('='))))
                env.push_back(text);
        }
        for (const auto& [name, value] : overrides)
            env.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& text : env)
            envp.push_back(text.data());
        envp.push_back(nullptr);
        std::string program = path;
        char* argv[] = {program.data(), nullptr};
        if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
            pid_ = -1;
    }
    ~TProgram() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ > 0; }
    // Sends SIGTERM and waits; the exit status, or -1 when it did not end in time.
    int Terminate(std::chrono::milliseconds timeout) {
        kill(pid_, SIGTERM);
        return Wait(timeout);
    }
    // Waits for the end; the exit status, or -1 when it did not end in time.
    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
};

struct TWindow {
    std::string Id;
    int X = 0, Y = 0, Width = 0, Height = 0;
};

std::optional<TWindow> FindWindow(const std::string& title) {
    for (int attempt = 0; attempt < 150; ++attempt) {
        std::istringstream ids(
            Run("xdotool search --onlyvisible --name " + ShellQuote("^" + title + "$")));
        TWindow window;
        if (ids >> window.Id) {
            std::istringstream shell(Run("xdotool getwindowgeometry --shell " + window.Id));
            std::string line;
            while (std::getline(shell, line)) {
                const auto value = [&](const char* key) {
                    return std::stoi(line.substr(strlen(key)));
                };
                if (line.rfind("X=", 0) == 0)
                    window.X = value("X=");
                else if (line.rfind("Y=", 0) == 0)
                    window.Y = value("Y=");
                else if (line.rfind("WIDTH=", 0) == 0)
                    window.Width = value("WIDTH=");
                else if (line.rfind("HEIGHT=", 0) == 0)
                    window.Height = value("HEIGHT=");
            }
            if (window.Width > 0)
                return window;
        }
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

// A window titled `title` other than `except`; "" when none appears in `attempts` tenths of a
// second.
std::string OtherWindow(const std::string& title, const std::string& except, int attempts = 100) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::istringstream ids(
            Run("xdotool search --onlyvisible --name " + ShellQuote("^" + title + "$")));
        for (std::string id; ids >> id;)
            if (id != except)
                return id;
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

// Rows of the left column that are grey all across: the spacers between the panels.
std::vector<std::pair<int, int>> GreyBands(const QImage& window) {
    std::vector<std::pair<int, int>> bands;
    for (int y = 0; y < window.height(); ++y) {
        bool grey = true;
        for (int x = 0; x < kColumnWidth - 1 && grey; ++x)
            grey = window.pixel(x, y) == kColumnGrey;
        if (!grey)
            continue;
        if (!bands.empty() && bands.back().second == y - 1)
            bands.back().second = y;
        else
            bands.emplace_back(y, y);
    }
    return bands;
}

// The lime or red pixels of the input bar, and a fingerprint of the whole area.
struct TBarArea {
    int Coloured = 0;
    QByteArray Hash;
};

TBarArea InspectBar(const QImage& window, int top, int bottom) {
    const QImage area = window.copy(0, top, kColumnWidth, bottom - top + 1);
    TBarArea result;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            const QRgb pixel = area.pixel(x, y);
            if (pixel == qRgb(0, 255, 0) || pixel == qRgb(255, 0, 0))
                ++result.Coloured;
        }
    result.Hash = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(area.constBits()), area.sizeInBytes()),
        QCryptographicHash::Sha1);
    return result;
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
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("screenshot: ", 0) == 0)
            std::cout << line << "\n";
}

// The program started with the demo devices and a private home; its window found.
class TX11Session {
public:
    // `prepare` may write files into the configuration folder before the start.
    explicit TX11Session(const std::function<void(const std::filesystem::path&)>& prepare = {}) {
        std::filesystem::create_directories(runtime_);
        std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
        std::filesystem::create_directories(Artifacts);
        std::filesystem::create_directories(Settings.parent_path());
        if (prepare)
            prepare(Settings.parent_path());
        sonari_ = StartCopy();
        if (sonari_->Started())
            Window = FindWindow("Sonari");
        std::this_thread::sleep_for(500ms); // painted
    }

    // One more copy of the program for the same user.
    std::unique_ptr<TProgram> StartCopy() const {
        return std::make_unique<TProgram>(
            (BinaryDir() / "bin/sonari").string(),
            std::map<std::string, std::string>{{"HOME", (dir_ / "home").string()},
                                               {"XDG_CONFIG_HOME", (dir_ / "config").string()},
                                               {"XDG_RUNTIME_DIR", runtime_.string()},
                                               {"SONARI_AUDIO", "sim"}});
    }

    // The window's part of the screen, kept as build/artifacts/<name> when a name is given.
    QImage Shot(const std::string& name = {}) const {
        const auto screen = dir_ / "screen.png";
        RunCommand("import -window root " + ShellQuote(screen.string()));
        const QImage image = QImage(QString::fromStdString(screen.string()))
                                 .copy(Window->X, Window->Y, Window->Width, Window->Height);
        if (!name.empty())
            Keep(image, name);
        return image;
    }

    // Saves a screenshot among the build's artifacts.
    void Keep(const QImage& image, const std::string& name) const {
        image.save(QString::fromStdString((Artifacts / name).string()));
        std::cout << "screenshot: " << (Artifacts / name).string() << std::endl;
    }

    // A left click at (x, y) in window coordinates.
    void Click(int x, int y) const {
        RunCommand("xdotool mousemove " + std::to_string(Window->X + x) + " " +
                   std::to_string(Window->Y + y) + " click 1");
    }

    // Top and bottom row of a step's panel: the spacers around it are the grey rows of the left
    // column (toolbar, heading, then one panel per step).
    std::pair<int, int> StepPanel(const QImage& shot, int tag) const {
        const auto bands = GreyBands(shot);
        const size_t above = static_cast<size_t>(tag) + 1;
        if (bands.size() <= above)
            return {-1, -1};
        const int bottom = above + 1 < bands.size() ? bands[above + 1].first - 1 : shot.height();
        return {bands[above].second + 1, bottom};
    }

    void ClickStep(const QImage& shot, int tag) const {
        Click(kStepLeft + kStepButtonSize / 2,
              StepPanel(shot, tag).first + kStepMargin + kStepButtonSize / 2);
    }

    int Terminate() { return sonari_->Terminate(10s); }

    const std::filesystem::path Artifacts = BinaryDir() / "artifacts";

private:
    TTempDir dir_{"sonari-xvfb"};
    const std::filesystem::path runtime_ = dir_ / "run";

public:
    const std::filesystem::path Settings = dir_ / "config/Brisko/Products/sonari/sonari.ini";
    std::optional<TWindow> Window;

private:
    std::unique_ptr<TProgram> sonari_;
};

TEST(MainWindowUnderX11, StartsCapturesOnStepTwoAndEndsOnSigterm) {
    if (qEnvironmentVariableIsEmpty(kChildVariable))
        return RunUnderXvfb();

    TX11Session session;
    ASSERT_TRUE(session.Window) << "no window titled Sonari appeared";
    EXPECT_EQ(session.Window->Width, 822);
    EXPECT_EQ(session.Window->Height, 527);
    const QImage before = session.Shot("main-window-xvfb-start.png");
    const auto [stepTop, stepBottom] = session.StepPanel(before, 2);
    ASSERT_GT(stepTop, 0);
    EXPECT_EQ(InspectBar(before, stepTop, stepBottom).Coloured, 0);

    session.ClickStep(before, 2);
    // The bar follows the demo voice every 427 ms: it shows and it moves.
    int shown = 0;
    std::set<QByteArray> states;
    for (int i = 0; i < 8; ++i) {
        std::this_thread::sleep_for(400ms);
        const TBarArea bar = InspectBar(session.Shot(), stepTop, stepBottom);
        shown += bar.Coloured > 0;
        states.insert(bar.Hash);
    }
    session.Shot("main-window-xvfb.png");
    EXPECT_GE(shown, 6);
    EXPECT_GE(states.size(), 2u) << "the input bar did not move";

    // A second start hands over to the running copy and ends.
    EXPECT_EQ(session.StartCopy()->Wait(10s), 0);
    EXPECT_TRUE(OtherWindow("Sonari", session.Window->Id, 1).empty());

    EXPECT_EQ(session.Terminate(), 0);
    ASSERT_TRUE(std::filesystem::exists(session.Settings));
    EXPECT_NE(ReadFileBytes(session.Settings).find("[Window]"), std::string::npos);
}

// A profile that gives the pictures something to show: a shaped equalizer, the clipper on.
constexpr char kDemoProfile[] = R"([Equalizer]
Band0=-6
Band1=-3
Band2=0
Band3=2
Band4=5
Band5=4
Band6=0
Enabled=1
[Filter]
CutoffLo=200
CutoffHi=2800
[Clipper]
ClipThreshold=67909392
GateThreshold=3818826
Compression=2
Enabled=1
[Output]
Gain=1
)";

// Frames of a finished WAV file; 0 while it is missing or still being written.
int64_t FramesOf(const std::filesystem::path& file) {
    try {
        TKelWavFile wav;
        wav.SetFileName(file.string());
        wav.OpenRead();
        const int64_t frames = wav.SampleCount();
        wav.Close();
        return frames;
    } catch (const std::exception&) {
        return 0;
    }
}

int PixelsOf(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour;
    return count;
}

// Lime pixels below the editor pages: the output level bar.
int OutputBarPixels(const QImage& window, int belowY) {
    int count = 0;
    for (int y = belowY; y < window.height(); ++y)
        for (int x = kColumnWidth; x < window.width(); ++x)
            count += window.pixel(x, y) == qRgb(0, 255, 0);
    return count;
}

// Steps 3 and 4 with the demo devices, as a newcomer would go; the pictures of both pages are
// the README's.
TEST(MainWindowUnderX11, RecordsAndPlaysBackTheDemoVoice) {
    if (qEnvironmentVariableIsEmpty(kChildVariable))
        return RunUnderXvfb();

    TX11Session session([](const std::filesystem::path& folder) {
        const auto profile = folder / "Prof/Demo.ini";
        std::filesystem::create_directories(profile.parent_path());
        WriteFileBytes(profile, kDemoProfile);
        WriteFileBytes(folder / "sonari.ini", "[Audio]\nInputDevice=01  Demo microphone\n"
                                              "OutputDevice=02  Demo transmitter\nLastProfile=" +
                                                  profile.string() + "\n");
    });
    ASSERT_TRUE(session.Window) << "no window titled Sonari appeared";
    const QImage start = session.Shot();

    session.ClickStep(start, 3);
    // The prompt is a second window of the same title; OK is its default button.
    const std::string prompt = OtherWindow("Sonari", session.Window->Id);
    ASSERT_FALSE(prompt.empty()) << "no recording prompt";
    RunCommand("xdotool windowfocus --sync " + prompt + " key Return");
    const auto voice = session.Settings.parent_path() / "Wav/Voice.wav";
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (FramesOf(voice) < 60000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(200ms);
    ASSERT_GE(FramesOf(voice), 60000) << "the recording did not complete";
    std::this_thread::sleep_for(500ms);

    session.ClickStep(start, 4);
    std::this_thread::sleep_for(3s); // the output figures close every 2.13 s
    const QImage equalizer = session.Shot("readme-main-window.png");
    const int pagesBottom = session.StepPanel(start, 2).first + 150; // well below the tab row
    EXPECT_GT(OutputBarPixels(equalizer, pagesBottom), 0) << "no output level";

    session.Click(kColumnWidth + 120, 16); // the second tab, "Clipper"
    std::this_thread::sleep_for(1s);
    // The voice loop has pauses; the picture is taken while it speaks (most histogram green).
    QImage clipper;
    int mostGreen = -1;
    for (int shot = 0; shot < 12; ++shot, std::this_thread::sleep_for(250ms)) {
        const QImage image = session.Shot();
        const int green = PixelsOf(image, qRgb(0, 128, 0));
        if (green > mostGreen) {
            mostGreen = green;
            clipper = image;
        }
    }
    session.Keep(clipper, "readme-clipper-page.png");
    const QRect plot(kColumnWidth + 20, 40, 500, 200);
    EXPECT_NE(equalizer.copy(plot), clipper.copy(plot)) << "the Clipper page did not open";
    EXPECT_EQ(session.Terminate(), 0);
}

} // namespace
} // namespace sonari::test
