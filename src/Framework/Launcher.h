#pragma once
// The launcher and options dialogs as logic: the display-mode list, the launcher's list and
// preselection, its results, and the options dialog's working copies and check-box rules.
// The dialogs themselves (GTK windows) only show these models and hand them the player's
// clicks, so everything here is tested without a display.

#include <string>
#include <utility>
#include <vector>

// One screen size the launcher offers.
struct SPDisplayModeRecord {
    int height = 0;
    int width = 0;
    int bitsPerPixel = 32;
};

// The display-mode list and its two flags (a 1365/1366 x 768 mode exists; a 1024 x 768 mode
// exists), filled by EnumerateDisplayModes.
extern std::vector<SPDisplayModeRecord> g_displayModes;
extern bool g_displayModeWide768;
extern bool g_displayMode1024;

// Fills the list from the display's modes (width, height): sorted ascending by width, then
// height; sizes below 320 x 240 dropped; one record per size.
void BuildDisplayModeList(std::vector<std::pair<int, int>> modes);
// Asks the start-up registry for the first display's modes and builds the list from them
// (an empty list when there is no display).
void EnumerateDisplayModes(void* instance);

// "(16:9)", "(16:10)", "(4:3)" for those exact ratios; empty otherwise.
std::string AspectLabel(int width, int height);

// Command and control numbers of the two dialogs.
constexpr int kLauncherPlay = 1000;
constexpr int kLauncherOptions = 1001;
constexpr int kLauncherQuit = 1002;
constexpr int kLauncherPlayWindowed = 1003;
// What the platform answers when it cannot show the launcher at all.
constexpr int kLauncherUnavailable = -1;
constexpr int kOptionsOk = 1;
constexpr int kOptionsCancel = 2;
constexpr int kOptionsMotionBlur = 1007;
constexpr int kOptionsLensFlare = 1008;
constexpr int kOptionsBloom = 1009;
constexpr int kOptionsSmoke = 1010;

// The options dialog: working copies of eight settings while it is open; OK writes four of
// them back and saves "config.cfg" at once.
class CPOptionsModel {
public:
    // The dialog opens: copies the settings and sets the boxes.
    void Init();
    bool IsChecked(int control) const;
    bool IsEnabled(int control) const;
    // The player ticks or clears a box.
    void SetChecked(int control, bool checked);
    // A button: kOptionsOk or kOptionsCancel end the dialog with that number; 0 otherwise.
    int Command(int control);
    // Closing the dialog's window: ends it with 1002, changing nothing.
    int Close() { return kLauncherQuit; }

private:
    int m_shadows = 0, m_bloom = 0, m_lensflare = 0, m_dust = 0;
    int m_wheel = 0, m_weather = 0, m_blur = 0, m_contrast = 0;
    bool m_motionBlurEnabled = false;
};

// The launcher dialog: the resolution list with its preselection and the four commands.
class CPLauncherModel {
public:
    // The dialog opens: fills the items from g_displayModes and preselects one.
    void Init();
    // "%d x %d" with the aspect label after a blank when there is one.
    const std::vector<std::string>& Items() const { return m_items; }
    // The selected item, -1 when the list is empty.
    int Selection() const { return m_selection; }
    void Select(int item);
    // A command: 1000, 1002 and 1003 end the dialog with that number (1000 and 1003 after
    // storing their settings); 1001 asks the view to show the options dialog and answers 0.
    int Command(int command);
    // Closing the window is "Quit".
    int Close() { return kLauncherQuit; }

    CPOptionsModel& Options() { return m_options; }

private:
    std::vector<std::string> m_items;
    int m_selection = -1;
    CPOptionsModel m_options;
};

// The launcher bypass of the command line.
struct SPCommandLine {
    bool play = false; // --play: as if "Play!" had been chosen
    int width = 0;     // --play WIDTHxHEIGHT; 0 keeps the configured size
    int height = 0;
    bool windowed = false; // --windowed: as if "Play in a window" had been chosen
    bool Bypass() const { return play || windowed; }
};

// Reads the arguments after the program name. False with a message for an unknown option, a
// malformed size or one below 320 x 240.
bool ParseCommandLine(const std::vector<std::string>& args, SPCommandLine& out, std::string& error);
// Stores what the bypass chose in the settings; answers the launcher result it stands for
// (1000, or 1003 with --windowed).
int ApplyLauncherBypass(const SPCommandLine& commandLine);
