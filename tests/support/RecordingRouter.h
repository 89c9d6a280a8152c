#pragma once
// A command router that keeps every command sent to scripts, in the order sent, for the tests
// of whatever routes commands. Install it with SetCommandRouter, and install null again before
// it goes.

#include "Framework/CommandRouter.h"
#include "Framework/PMMObject.h"

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace kxtest {

// Which of the router's three sends a command came through.
enum class Route { Name, Category, Object };

struct SentCommand {
    Route route = Route::Name;
    // The script's name or the category; empty for a command sent to a script object.
    std::string target;
    std::string command;
    std::string params;
    // The script object a Route::Object command went to.
    IPMMObject* script = nullptr;

    bool operator==(const SentCommand&) const = default;
};

inline void PrintTo(const SentCommand& c, std::ostream* os) {
    static const char* const kRoutes[] = {"name", "category", "object"};
    *os << "{" << kRoutes[static_cast<int>(c.route)] << " \"" << c.target << "\" \"" << c.command << "\" \"" << c.params
        << "\"";
    if (c.script) *os << " script " << c.script->GetHandle();
    *os << "}";
}

class RecordingRouter : public IPCommandRouter {
public:
    void SendCommandByName(const std::string& name, const std::string& command, const std::string& params) override {
        Record({Route::Name, name, command, params});
    }
    void SendCommandByCategory(const std::string& category, const std::string& command,
                               const std::string& params) override {
        Record({Route::Category, category, command, params});
    }
    void SendCommandByObject(IPMMObject* script, const std::string& command, const std::string& params) override {
        Record({Route::Object, "", command, params, script});
    }

    std::vector<SentCommand> sent;
    // Called with each command as it arrives, for a test that logs other events in one list with
    // the commands so their relative order shows.
    std::function<void(const SentCommand&)> onSent;

private:
    void Record(SentCommand command) {
        if (onSent) onSent(command);
        sent.push_back(std::move(command));
    }
};

} // namespace kxtest
