#include "Platform/Dialogs/LauncherDialog.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <map>

#include "Platform/Base/LeakCheck.h"

namespace Platform::Dialogs {

namespace {

const DialogTestHooks* g_hooks = nullptr;
bool g_gtkReady = false;

// The dialog that waits for the player now, and whether a termination signal asked to quit.
GtkDialog* g_waitingDialog = nullptr;
bool g_quitRequested = false;

// SIGTERM or SIGINT while a dialog is up: close whatever is open, and the launcher as "Quit".
gboolean OnQuitSignal(gpointer) {
    g_quitRequested = true;
    if (g_waitingDialog) gtk_dialog_response(g_waitingDialog, GTK_RESPONSE_DELETE_EVENT);
    return G_SOURCE_CONTINUE;
}

constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kOptionsCommand = 1001;

// Handles every event GTK still holds, so nothing of the dialogs is left when SDL takes over.
void DrainEvents() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

class Driver : public IDialogDriver {
public:
    Driver(GtkDialog* dialog, GtkComboBoxText* combo, std::map<int, GtkWidget*> controls)
        : m_dialog(dialog), m_combo(combo), m_controls(std::move(controls)) {}

    std::string Title() const override {
        const char* title = gtk_window_get_title(GTK_WINDOW(m_dialog));
        return title ? title : "";
    }
    std::vector<std::string> Items() const override {
        std::vector<std::string> items;
        if (!m_combo) return items;
        GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(m_combo));
        GtkTreeIter it;
        for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok; ok = gtk_tree_model_iter_next(model, &it)) {
            gchar* text = nullptr;
            gtk_tree_model_get(model, &it, 0, &text, -1);
            items.emplace_back(text ? text : "");
            g_free(text);
        }
        return items;
    }
    int ActiveItem() const override { return m_combo ? gtk_combo_box_get_active(GTK_COMBO_BOX(m_combo)) : -1; }
    void SelectItem(int item) override {
        if (m_combo) gtk_combo_box_set_active(GTK_COMBO_BOX(m_combo), item);
    }
    bool Click(int control) override {
        auto it = m_controls.find(control);
        if (it == m_controls.end()) return false;
        gtk_button_clicked(GTK_BUTTON(it->second));
        return true;
    }
    bool IsChecked(int control) const override {
        auto it = m_controls.find(control);
        return it != m_controls.end() && GTK_IS_TOGGLE_BUTTON(it->second) &&
               gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(it->second));
    }
    bool IsSensitive(int control) const override {
        auto it = m_controls.find(control);
        return it != m_controls.end() && gtk_widget_get_sensitive(it->second);
    }
    int DefaultButton() const override { return NumberOf(gtk_window_get_default_widget(GTK_WINDOW(m_dialog))); }
    int FocusedControl() const override { return NumberOf(gtk_window_get_focus(GTK_WINDOW(m_dialog))); }
    bool IsModal() const override { return gtk_window_get_modal(GTK_WINDOW(m_dialog)); }
    void Close() override { gtk_window_close(GTK_WINDOW(m_dialog)); }

private:
    // The number of a control; 0 for a widget that is none of them.
    int NumberOf(const GtkWidget* widget) const {
        for (const auto& [id, control] : m_controls)
            if (control == widget) return id;
        return 0;
    }

    GtkDialog* m_dialog;
    GtkComboBoxText* m_combo;
    std::map<int, GtkWidget*> m_controls;
};

// Runs a hook from the dialog's own loop, once it waits for the player.
struct PendingHook {
    const std::function<void(IDialogDriver&)>* hook;
    Driver* driver;
    bool ran = false;
};

gboolean RunHook(gpointer data) {
    auto* pending = static_cast<PendingHook*>(data);
    pending->ran = true;
    (*pending->hook)(*pending->driver);
    return G_SOURCE_REMOVE;
}

// gtk_dialog_run, with a test hook called once the dialog waits.
int RunWithHook(GtkDialog* dialog, const std::function<void(IDialogDriver&)>* hook, Driver& driver) {
    if (g_quitRequested) return GTK_RESPONSE_DELETE_EVENT;
    PendingHook pending{hook, &driver, false};
    guint idle = 0;
    if (hook && *hook) idle = g_idle_add(RunHook, &pending);
    GtkDialog* outer = g_waitingDialog;
    g_waitingDialog = dialog;
    const int response = gtk_dialog_run(dialog);
    g_waitingDialog = outer;
    // A hook that never ran (the dialog ended first) must not run later with a dead driver.
    if (idle && !pending.ran) g_source_remove(idle);
    return response;
}

struct OptionsState {
    IOptionsController* controller;
    std::map<int, GtkWidget*> boxes;
    bool updating = false;
};

void RefreshBoxes(OptionsState& state) {
    state.updating = true;
    for (const auto& [id, box] : state.boxes) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(box), state.controller->IsChecked(id));
        gtk_widget_set_sensitive(box, state.controller->IsEnabled(id));
    }
    state.updating = false;
}

void OnBoxToggled(GtkToggleButton* box, gpointer data) {
    auto* state = static_cast<OptionsState*>(data);
    if (state->updating) return;
    const int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(box), "kx-control"));
    state->controller->SetChecked(id, gtk_toggle_button_get_active(box));
    RefreshBoxes(*state);
}

GtkWidget* AddButton(GtkDialog* dialog, const char* label, int id, std::map<int, GtkWidget*>& controls) {
    GtkWidget* button = gtk_dialog_add_button(dialog, label, id);
    controls[id] = button;
    return button;
}

// Shows the dialog with the keyboard on its default button, so that Enter chooses it (the list
// or a check box that took the focus would keep Enter for itself).
void ShowWithDefaultFocused(GtkDialog* dialog, GtkWidget* defaultButton) {
    gtk_widget_show_all(GTK_WIDGET(dialog));
    gtk_widget_grab_focus(defaultButton);
}

void RunOptionsDialog(GtkWindow* owner, IOptionsController& controller) {
    controller.Init();
    GtkDialog* dialog = GTK_DIALOG(gtk_dialog_new());
    gtk_window_set_title(GTK_WINDOW(dialog), "Options");
    gtk_window_set_transient_for(GTK_WINDOW(dialog), owner);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);

    OptionsState state{&controller, {}, false};
    GtkWidget* frame = gtk_frame_new("Video");
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_container_set_border_width(GTK_CONTAINER(column), 8);
    const std::pair<int, const char*> boxes[] = {
        {1007, "Motion Blur"}, {1008, "Lens Flare"}, {1009, "Bloom"}, {1010, "Smoke"}};
    for (const auto& [id, label] : boxes) {
        GtkWidget* box = gtk_check_button_new_with_label(label);
        g_object_set_data(G_OBJECT(box), "kx-control", GINT_TO_POINTER(id));
        gtk_box_pack_start(GTK_BOX(column), box, FALSE, FALSE, 0);
        state.boxes[id] = box;
    }
    gtk_container_add(GTK_CONTAINER(frame), column);
    GtkWidget* content = gtk_dialog_get_content_area(dialog);
    gtk_container_set_border_width(GTK_CONTAINER(content), 8);
    gtk_box_pack_start(GTK_BOX(content), frame, TRUE, TRUE, 0);

    std::map<int, GtkWidget*> controls = state.boxes;
    GtkWidget* ok = AddButton(dialog, "OK", kOk, controls);
    AddButton(dialog, "Cancel", kCancel, controls);
    gtk_dialog_set_default_response(dialog, kOk);
    RefreshBoxes(state);
    for (const auto& [id, box] : state.boxes) g_signal_connect(box, "toggled", G_CALLBACK(OnBoxToggled), &state);

    ShowWithDefaultFocused(dialog, ok);
    Driver driver(dialog, nullptr, controls);
    for (;;) {
        const int response = RunWithHook(dialog, g_hooks ? &g_hooks->optionsShown : nullptr, driver);
        if (response == kOk || response == kCancel) {
            if (controller.Command(response) != 0) break;
        } else {
            // Closed by the window manager (or destroyed).
            controller.Close();
            break;
        }
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

} // namespace

bool InitDialogs(std::string* error) {
    if (g_gtkReady) return true;
    // GTK and its libraries keep their one-time allocations for the life of the process.
    [[maybe_unused]] ScopedDriverAllocations driver;
    // GTK would switch the whole process to the desktop's locale; on a ru_RU or de_DE desktop
    // the scripts (Lua reads and writes numbers through the C library) and every later config
    // or data text would then use ',' for the decimal point. Our labels need no translation.
    gtk_disable_setlocale();
    if (!gtk_init_check(nullptr, nullptr)) {
        if (error) *error = "GTK cannot open the display (is DISPLAY set?)";
        return false;
    }
    g_gtkReady = true;
    return true;
}

int RunLauncherDialog(ILauncherController& controller, const std::string& title) {
    std::string error;
    if (!InitDialogs(&error)) return controller.Close();

    GtkDialog* dialog = GTK_DIALOG(gtk_dialog_new());
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(row), 12);
    gtk_box_pack_start(GTK_BOX(row), gtk_label_new("Screen resolution"), FALSE, FALSE, 0);
    GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(gtk_combo_box_text_new());
    for (const std::string& item : controller.Items()) gtk_combo_box_text_append_text(combo, item.c_str());
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), controller.Selection());
    gtk_box_pack_start(GTK_BOX(row), GTK_WIDGET(combo), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(dialog)), row, TRUE, TRUE, 0);

    std::map<int, GtkWidget*> controls;
    AddButton(dialog, "Options...", kOptionsCommand, controls);
    AddButton(dialog, "Play in a window", 1003, controls);
    AddButton(dialog, "Quit", 1002, controls);
    GtkWidget* play = AddButton(dialog, "Play!", 1000, controls);
    gtk_dialog_set_default_response(dialog, 1000);
    ShowWithDefaultFocused(dialog, play);

    // SDL may have put its own handlers in place (it turns these signals into its quit event,
    // which nobody reads while the launcher is up): here they close the launcher as "Quit".
    struct sigaction oldTerm {
    }, oldInt{};
    ::sigaction(SIGTERM, nullptr, &oldTerm);
    ::sigaction(SIGINT, nullptr, &oldInt);
    g_quitRequested = false;
    const guint termSource = g_unix_signal_add(SIGTERM, OnQuitSignal, nullptr);
    const guint intSource = g_unix_signal_add(SIGINT, OnQuitSignal, nullptr);

    Driver driver(dialog, combo, controls);
    int result = 0;
    while (result == 0) {
        const int response = RunWithHook(dialog, g_hooks ? &g_hooks->launcherShown : nullptr, driver);
        if (response == GTK_RESPONSE_DELETE_EVENT || response == GTK_RESPONSE_NONE) {
            result = controller.Close();
            break;
        }
        controller.Select(gtk_combo_box_get_active(GTK_COMBO_BOX(combo)));
        result = controller.Command(response);
        if (response == kOptionsCommand) {
            RunOptionsDialog(GTK_WINDOW(dialog), controller.Options());
            result = g_quitRequested ? controller.Close() : 0;
        }
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
    DrainEvents();
    g_source_remove(termSource);
    g_source_remove(intSource);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::sigaction(SIGINT, &oldInt, nullptr);
    g_quitRequested = false;
    return result;
}

void SetDialogTestHooks(const DialogTestHooks* hooks) { g_hooks = hooks; }

} // namespace Platform::Dialogs
