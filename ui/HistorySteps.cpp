// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HistorySteps.h"

#include <utility>

namespace pemberlock {

MapStep::MapStep(MapState before, MapState after, int knob, bool mergeable, Show show, QString name)
    : before_(std::move(before)),
      after_(std::move(after)),
      knob_(knob),
      mergeable_(mergeable && knob >= 0),
      show_(std::move(show)),
      name_(std::move(name)) {
    Name();
}

void MapStep::redo() {
    if (std::exchange(shown_, false)) return;
    show_(after_, before_.path != after_.path);
}

bool MapStep::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const MapStep*>(other);  // the same id: a MapStep
    if (next->knob_ != knob_ || !next->mergeable_) return false;
    after_ = next->after_;
    // Typed back to where it began: no step at all.
    setObsolete(before_ == after_);
    Name();
    return true;
}

void MapStep::Name() {
    if (!name_.isEmpty()) {
        setText(name_);
    } else if (knob_ >= 0) {
        setText(QStringLiteral("Knob %1: %2 \u2192 %3")
                    .arg(knob_ + 1)
                    .arg(QString::fromStdString(before_.map.EntryText(knob_)),
                         QString::fromStdString(after_.map.EntryText(knob_))));
    } else if (before_.map.Precedence() != after_.map.Precedence()) {
        setText(QStringLiteral("Precedence Option"));
    } else {
        setText(QStringLiteral("Map Change"));
    }
}

QString DropStepText(std::uint64_t patches) {
    return patches == 1 ? QStringLiteral("Drop of 1 Patch")
                        : QStringLiteral("Drop of %1 Patches").arg(patches);
}

JournalStep::JournalStep(Kind kind, std::uint64_t drop, std::uint64_t patches)
    : kind_(kind), drop_(drop) {
    switch (kind) {
        case Kind::Drop: setText(DropStepText(patches)); break;
        case Kind::UndoOfDrop: setText(QStringLiteral("Undo of Drop %1").arg(drop)); break;
        case Kind::RedoOfDrop: setText(QStringLiteral("Redo of Drop %1").arg(drop)); break;
    }
}

}  // namespace pemberlock
