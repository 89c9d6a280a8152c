#pragma once
// The launcher and options dialogs as GTK 3 windows. They only show what a controller gives
// them and hand it the player's clicks; the rules (which mode is preselected, what each
// button stores) belong to the controller. GTK starts only when the launcher is shown, and the
// dialog is gone, with its pending events handled, before the game window opens.

#include <functional>
#include <string>
#include <vector>

namespace Platform::Dialogs {

// What the options dialog shows and does. Controls: 1007 "Motion Blur", 1008 "Lens Flare",
// 1009 "Bloom", 1010 "Smoke"; buttons 1 "OK", 2 "Cancel".
class IOptionsController {
public:
    virtual ~IOptionsController() = default;
    // The dialog opens.
    virtual void Init() = 0;
    virtual bool IsChecked(int control) const = 0;
    virtual bool IsEnabled(int control) const = 0;
    virtual void SetChecked(int control, bool checked) = 0;
    // A button; answers the number the dialog ends with, or 0 to stay open.
    virtual int Command(int control) = 0;
    // The window is closed.
    virtual int Close() = 0;
};

// What the launcher shows and does. Buttons: 1000 "Play!", 1001 "Options...", 1002 "Quit",
// 1003 "Play in a window".
class ILauncherController {
public:
    virtual ~ILauncherController() = default;
    virtual std::vector<std::string> Items() const = 0;
    virtual int Selection() const = 0;
    virtual void Select(int item) = 0;
    // A button; answers the number the launcher ends with, or 0 to stay open (1001 opens the
    // options dialog over the launcher).
    virtual int Command(int command) = 0;
    virtual int Close() = 0;
    virtual IOptionsController& Options() = 0;
};

// Starts GTK once; false with the reason when there is no display.
bool InitDialogs(std::string* error = nullptr);

// Shows the launcher modally, centred, until a button or closing ends it; answers that number
// (the controller's Close answer when GTK cannot start).
int RunLauncherDialog(ILauncherController& controller, const std::string& title);

// What a test can do with an open dialog.
class IDialogDriver {
public:
    virtual ~IDialogDriver() = default;
    virtual std::string Title() const = 0;
    // The list's texts and active item (launcher).
    virtual std::vector<std::string> Items() const = 0;
    virtual int ActiveItem() const = 0;
    virtual void SelectItem(int item) = 0;
    // Clicks a button or a check box by its number; false when there is none.
    virtual bool Click(int control) = 0;
    virtual bool IsChecked(int control) const = 0;
    virtual bool IsSensitive(int control) const = 0;
    // The number of the default button, and of the control that has the keyboard focus (0 for
    // none of the numbered ones).
    virtual int DefaultButton() const = 0;
    virtual int FocusedControl() const = 0;
    virtual bool IsModal() const = 0;
    // Closes the window as its title bar would.
    virtual void Close() = 0;
};

// Called once each time a dialog starts waiting for the player (tests only).
struct DialogTestHooks {
    std::function<void(IDialogDriver&)> launcherShown;
    std::function<void(IDialogDriver&)> optionsShown;
};
void SetDialogTestHooks(const DialogTestHooks* hooks);

} // namespace Platform::Dialogs
