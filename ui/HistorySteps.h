// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "map/KnobControllerMap.h"

#include <QString>
#include <QUndoCommand>

#include <cstdint>
#include <functional>

namespace pemberlock {

// The map as the window shows it, with the file it came from.
struct MapState {
    KnobControllerMap map;
    QString path;
    friend bool operator==(const MapState&, const MapState&) = default;
};

// A change of the map made in the window: a knob (typed, scrolled or
// learned), the option, or a map loaded. Pushed once the change is shown,
// so its first redo does nothing.
class MapStep final : public QUndoCommand {
public:
    // Shows state; its path too when withPath (a map loaded), else the
    // map alone, so that undoing a knob never moves where Save Map writes.
    using Show = std::function<void(const MapState& state, bool withPath)>;
    // knob: the knob changed alone, or -1; mergeable: the change goes on
    // the step before when that is of the same knob (typing a number).
    // name: the step's name, when not told by what changed.
    MapStep(MapState before, MapState after, int knob, bool mergeable, Show show,
            QString name = {});

    void undo() override { show_(before_, before_.path != after_.path); }
    void redo() override;
    int id() const override { return knob_ >= 0 ? kKnobIds + knob_ : -1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    static constexpr int kKnobIds = 1000;
    void Name();

    MapState before_;
    MapState after_;
    int knob_;
    bool mergeable_;
    bool shown_ = true;  // the change is on the screen already when pushed
    Show show_;
    QString name_;
};

// A drop made in the window, or an undo or a redo of a recorded drop. The
// journal's work runs on the drop's thread before the history moves, so
// the step itself changes nothing; it remembers which way to go.
class JournalStep final : public QUndoCommand {
public:
    enum class Kind { Drop, UndoOfDrop, RedoOfDrop };
    JournalStep(Kind kind, std::uint64_t drop, std::uint64_t patches);

    void undo() override {}
    void redo() override {}
    std::uint64_t Drop() const { return drop_; }
    // What undoing this step asks of the journal: to undo the drop (true)
    // or to redo it; redoing the step asks the opposite.
    bool UndoingUndoesTheDrop() const { return kind_ != Kind::UndoOfDrop; }

private:
    Kind kind_;
    std::uint64_t drop_;
};

// "Drop of 42 Patches", "Drop of 1 Patch".
QString DropStepText(std::uint64_t patches);

}  // namespace pemberlock
