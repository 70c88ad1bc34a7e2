#pragma once
// Plays the user in a modal dialog. The test waits inside the dialog's own loop, so the steps run
// from a thread timer that loop dispatches: one step per tick, on the dialog as it is found at that
// tick. A dialog that outlives its steps (it did not end as they should have made it) is ended by
// the script, so that the test fails instead of hanging.
#include <windows.h>

#include <climits>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace quenvix::test {

class DialogScript {
  public:
    // A step answers false to be run again at the next tick (while it waits for something).
    using Step = std::function<bool(HWND dialog)>;
    using OneTickStep = std::function<void(HWND dialog)>;

    struct Ending {
        std::function<HWND()> find;            // the dialog, null while there is none
        std::function<void(HWND dialog)> end;  // how a dialog left over is ended
        int spareTicks = 20;                   // ticks it may outlive the last step
        int tickLimit = INT_MAX;               // ticks in all before it is ended regardless
        UINT tickMs = 50;
    };

    DialogScript(Ending ending, std::vector<Step> steps)
        : ending_(std::move(ending)), steps_(std::move(steps)) {}
    // Steps that are each done in one tick.
    DialogScript(Ending ending, const std::vector<OneTickStep>& steps)
        : ending_(std::move(ending)) {
        for (const OneTickStep& step : steps) {
            steps_.push_back([step](HWND dialog) {
                step(dialog);
                return true;
            });
        }
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // Runs `inDialog` (which opens the dialog and returns once it has ended) with the steps
    // played; its answer.
    template <class F>
    decltype(auto) Play(F&& inDialog) {
        current_ = this;
        struct Stop {
            UINT_PTR timer;
            ~Stop() {
                KillTimer(nullptr, timer);
                current_ = nullptr;
            }
        } stop{SetTimer(nullptr, 0, ending_.tickMs, &DialogScript::Tick)};
        return std::forward<F>(inDialog)();
    }

    bool EndedByScript() const { return endedByScript_; }
    std::size_t StepsDone() const { return done_; }
    std::size_t StepCount() const { return steps_.size(); }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogScript* script = current_;
        // A step that waits for another program takes messages meanwhile, this timer's too.
        if (!script || script->inStep_) return;
        HWND dialog = script->ending_.find();
        if (!dialog || !IsWindowVisible(dialog)) return;
        const bool overdue = ++script->ticks_ > script->ending_.tickLimit;
        if (!overdue && script->done_ < script->steps_.size()) {
            script->inStep_ = true;
            const bool stepDone = script->steps_[script->done_](dialog);
            script->inStep_ = false;
            if (stepDone) ++script->done_;
        } else if (overdue || ++script->spareTicksUsed_ > script->ending_.spareTicks) {
            script->endedByScript_ = true;
            script->ending_.end(dialog);
        }
    }

    inline static DialogScript* current_ = nullptr;
    Ending ending_;
    std::vector<Step> steps_;
    std::size_t done_ = 0;
    int ticks_ = 0;
    int spareTicksUsed_ = 0;
    bool endedByScript_ = false;
    bool inStep_ = false;
};

}  // namespace quenvix::test
