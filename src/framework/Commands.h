// Commands: numeric ids routed view -> document -> frame -> application. Each command has
// one handler and one state handler (enabled, checked) in exactly one target.
#pragma once

#include <vector>

namespace lunavue {

struct CommandState {
    bool enabled = true;
    bool checked = false;
};

class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    // Carries out the command; false when this target does not handle it.
    virtual bool OnCommand(int id) = 0;
    // Fills the command's state; false when this target does not handle it.
    virtual bool OnUpdateCommand(int id, CommandState& state) = 0;
};

class CommandRouter {
  public:
    // Targets are asked in the order they were added.
    void Add(CommandTarget* target) { targets_.push_back(target); }
    void Clear() { targets_.clear(); }

    bool Execute(int id) {
        for (CommandTarget* t : targets_) {
            if (t->OnCommand(id)) {
                return true;
            }
        }
        return false;
    }

    // The command's state; a command nobody handles is disabled.
    CommandState State(int id) {
        CommandState s;
        for (CommandTarget* t : targets_) {
            if (t->OnUpdateCommand(id, s)) {
                return s;
            }
        }
        s.enabled = false;
        return s;
    }

  private:
    std::vector<CommandTarget*> targets_;
};

}  // namespace lunavue
