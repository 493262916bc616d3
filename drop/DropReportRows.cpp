// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/DropReportRows.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace pemberlock {
namespace {

// A row is packed as: its outcome (one byte), its path, then for a failure
// its reason, for a rewrite its sections. Keys and controllers are nearly
// always up to three whole numbers below 256 ("1 3 1", "7 "), which take a
// tag and a byte each; any other text is kept as it is, after its length.
constexpr unsigned char kLongText = 0x80;      // a length follows, then the text
constexpr unsigned char kNumbers = 0x80;       // + 1..3: that many numbers
constexpr unsigned char kNumbersBlank = 0x84;  // + 1..3: and a blank after them
constexpr unsigned char kRawNumber = 0xFF;     // a double's 8 bytes follow

// Up to three plain decimals 0..255, one blank between them and perhaps one
// after; 0 when text is not like that, else how many.
int SmallNumbers(std::string_view text, unsigned char (&values)[3], bool& blankAfter) {
    int count = 0;
    std::size_t i = 0;
    blankAfter = false;
    while (true) {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        const std::size_t digits = i - start;
        // "007" would come back as "7": such text is kept as it is.
        if (digits == 0 || digits > 3 || (digits > 1 && text[start] == '0')) return 0;
        unsigned value = 0;
        std::from_chars(text.data() + start, text.data() + i, value);
        if (value > 255) return 0;
        values[count++] = static_cast<unsigned char>(value);
        if (i == text.size()) return count;
        if (text[i] != ' ') return 0;
        if (++i == text.size()) {
            blankAfter = true;
            return count;
        }
        if (count == 3) return 0;
    }
}

class Packer {
public:
    explicit Packer(std::string& out) : out_(out) {}

    void Byte(unsigned value) { out_ += static_cast<char>(value); }

    void Varint(std::uint64_t value) {
        for (; value >= 0x80; value >>= 7) Byte(static_cast<unsigned>(value & 0x7F) | 0x80);
        Byte(static_cast<unsigned>(value));
    }

    void Int(int value) {  // zigzag, so that a small negative one stays small
        const auto wide = static_cast<std::int64_t>(value);
        Varint((static_cast<std::uint64_t>(wide) << 1) ^ static_cast<std::uint64_t>(wide >> 63));
    }

    void Bytes(std::string_view text) {
        Varint(text.size());
        out_ += text;
    }

    void Text(std::string_view text) {
        unsigned char values[3];
        bool blankAfter = false;
        if (const int count = SmallNumbers(text, values, blankAfter); count > 0) {
            Byte((blankAfter ? kNumbersBlank : kNumbers) + static_cast<unsigned>(count));
            out_.append(reinterpret_cast<const char*>(values), static_cast<std::size_t>(count));
        } else if (text.size() < kLongText) {
            Byte(static_cast<unsigned>(text.size()));
            out_ += text;
        } else {
            Byte(kLongText);
            Bytes(text);
        }
    }

    void Number(double value) {
        if (value >= 0 && value < kRawNumber && value == std::floor(value) &&
            !std::signbit(value)) {
            Byte(static_cast<unsigned>(value));
            return;
        }
        Byte(kRawNumber);
        char raw[sizeof value];
        std::memcpy(raw, &value, sizeof value);
        out_.append(raw, sizeof raw);
    }

    void Old(const SectionReport::OldRecord& record) {
        Text(record.key);
        Text(record.controller);
    }

    void Section(const SectionReport& section) {
        Byte(section.added ? 1 : 0);
        Varint(section.kept.size());
        for (const auto& record : section.kept) Old(record);
        Varint(section.dropped.size());
        for (const auto& record : section.dropped) Old(record);
        Varint(section.written.size());
        for (const auto& line : section.written) {
            Int(line.knob);
            Text(line.key);
            Number(line.controller);
        }
        Varint(section.notAdded.size());
        for (const auto& skipped : section.notAdded) {
            Int(skipped.knob);
            Text(skipped.key);
            Number(skipped.controller);
            Byte(static_cast<unsigned>(skipped.why));
            Old(skipped.by);
        }
        Varint(section.noController.size());
        for (const auto& record : section.noController) {
            Int(record.slot);
            Text(record.key);
        }
    }

    // Only what the key does not say: the module's name and type, or
    // which line of its list was malformed.
    void Name(const KeyName& named) {
        Text(named.key);
        const ParameterName& name = named.name;
        Byte(static_cast<unsigned>(name.kind));
        using K = ParameterName::Kind;
        if (name.kind == K::Module) Bytes(name.module);
        if (name.kind == K::Module || name.kind == K::UnknownType || name.kind == K::NoParameter) {
            Varint(static_cast<std::uint64_t>(name.type));
        }
        if (name.kind == K::NoModule) Varint(name.malformedLine);
    }

private:
    std::string& out_;
};

class Unpacker {
public:
    explicit Unpacker(const char* at) : at_(reinterpret_cast<const unsigned char*>(at)) {}

    unsigned Byte() { return *at_++; }

    std::uint64_t Varint() {
        std::uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned byte = Byte();
            value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if (byte < 0x80) return value;
        }
    }

    int Int() {
        const std::uint64_t zigzag = Varint();
        return static_cast<int>(static_cast<std::int64_t>(zigzag >> 1) ^
                                -static_cast<std::int64_t>(zigzag & 1));
    }

    std::string_view Bytes() {
        const auto size = static_cast<std::size_t>(Varint());
        const std::string_view text(reinterpret_cast<const char*>(at_), size);
        at_ += size;
        return text;
    }

    std::string Text() {
        const unsigned tag = Byte();
        if (tag < kLongText) {
            const std::string text(reinterpret_cast<const char*>(at_), tag);
            at_ += tag;
            return text;
        }
        if (tag == kLongText) return std::string(Bytes());
        const bool blankAfter = tag > kNumbersBlank;
        const unsigned count = tag - (blankAfter ? kNumbersBlank : kNumbers);
        std::string text;
        for (unsigned i = 0; i < count; ++i) {
            if (i > 0) text += ' ';
            text += std::to_string(Byte());
        }
        if (blankAfter) text += ' ';
        return text;
    }

    double Number() {
        const unsigned tag = Byte();
        if (tag != kRawNumber) return tag;
        double value = 0;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }

    SectionReport::OldRecord Old() {
        std::string key = Text();
        return {std::move(key), Text()};
    }

    // Each list goes from the count before it.
    template <typename Item, typename ReadOne>
    void List(std::vector<Item>& items, ReadOne readOne) {
        items.resize(static_cast<std::size_t>(Varint()));
        for (Item& item : items) item = readOne();
    }

    SectionReport Section() {
        SectionReport section;
        section.added = Byte() != 0;
        List(section.kept, [this] { return Old(); });
        List(section.dropped, [this] { return Old(); });
        List(section.written, [this] {
            const int knob = Int();
            std::string key = Text();
            return SectionReport::KnobLine{knob, std::move(key), Number()};
        });
        List(section.notAdded, [this] {
            SectionReport::NotAdded skipped;
            skipped.knob = Int();
            skipped.key = Text();
            skipped.controller = Number();
            skipped.why = static_cast<SectionReport::NotAdded::Why>(Byte());
            skipped.by = Old();
            return skipped;
        });
        List(section.noController, [this] {
            const int slot = Int();
            return SectionReport::NoPanelKnob{slot, Text()};
        });
        return section;
    }

    KeyName Name() {
        KeyName named;
        named.key = Text();
        ParameterName& name = named.name;
        name.kind = static_cast<ParameterName::Kind>(Byte());
        using K = ParameterName::Kind;
        if (name.kind == K::NotAKey) {
            name.module = named.key;
        } else {
            SplitKey(named.key, name.area, name.moduleIndex, name.parameter);
        }
        if (name.kind == K::Module) name.module = Bytes();
        if (name.kind == K::Module || name.kind == K::UnknownType || name.kind == K::NoParameter) {
            name.type = static_cast<int>(Varint());
        }
        if (name.kind == K::NoModule) name.malformedLine = Varint();
        return named;
    }

private:
    const unsigned char* at_;
};

constexpr std::string_view kNoPatch = "not a 'pch' file";

}  // namespace

void DropReportRows::Add(const DropPathResult& result) {
    starts_.push_back(bytes_.size());
    Packer packer(bytes_);
    const auto outcome = result.kind == DropPathResult::Kind::Rewritten ? Outcome::Rewritten
                         : result.kind == DropPathResult::Kind::Failed  ? Outcome::Failed
                                                                        : Outcome::Skipped;
    ++counts_[static_cast<int>(outcome)];
    packer.Byte(static_cast<unsigned>(outcome));
    packer.Bytes(result.path);
    if (outcome == Outcome::Failed) {
        packer.Bytes(result.error ? result.error->Text() : std::string("no reason given"));
    } else if (outcome == Outcome::Rewritten) {
        const std::size_t sections = result.report ? result.report->sections.size() : 0;
        packer.Varint(sections);
        for (std::size_t i = 0; i < sections; ++i) packer.Section(result.report->sections[i]);
        const std::size_t names = result.report ? result.report->names.size() : 0;
        packer.Varint(names);
        for (std::size_t i = 0; i < names; ++i) packer.Name(result.report->names[i]);
    }
}

void DropReportRows::SetNotProcessed(std::uint64_t notProcessed, std::uint64_t total) {
    notProcessed_ = notProcessed;
    total_ = total;
}

void DropReportRows::ShrinkToFit() {
    bytes_.shrink_to_fit();
    starts_.shrink_to_fit();
}

std::string DropReportRows::Summary() const {
    const std::uint64_t rewritten = counts_[static_cast<int>(Outcome::Rewritten)];
    const std::uint64_t skipped = counts_[static_cast<int>(Outcome::Skipped)];
    const std::uint64_t failed = counts_[static_cast<int>(Outcome::Failed)];
    const std::uint64_t handled = rewritten + skipped + failed;
    std::string text = std::to_string(handled) + (handled == 1 ? " file: " : " files: ") +
                       std::to_string(rewritten) +
                       (preview_ ? " would be rewritten, " : " rewritten, ") +
                       std::to_string(skipped) + " skipped, " + std::to_string(failed) +
                       (preview_ ? " would fail.\n" : " failed.\n");
    if (notProcessed_ > 0) {
        text += "Stopped: " + std::to_string(notProcessed_) + " of " + std::to_string(total_) +
                " files not processed.\n";
    }
    return text;
}

DropReportRows::Outcome DropReportRows::OutcomeOf(std::size_t row) const {
    return static_cast<Outcome>(static_cast<unsigned char>(bytes_[starts_[row]]));
}

std::string_view DropReportRows::PathOf(std::size_t row) const {
    return Unpacker(bytes_.data() + starts_[row] + 1).Bytes();
}

std::string_view DropReportRows::OutcomeWords(std::size_t row) const {
    switch (OutcomeOf(row)) {
        case Outcome::Rewritten: return preview_ ? "would be rewritten" : "rewritten";
        case Outcome::Failed: return preview_ ? "would fail" : "failed";
        case Outcome::Skipped: break;
    }
    return "skipped";
}

std::string_view DropReportRows::ReasonOf(std::size_t row) const {
    switch (OutcomeOf(row)) {
        case Outcome::Failed: {
            Unpacker unpacker(bytes_.data() + starts_[row] + 1);
            unpacker.Bytes();  // the path
            return unpacker.Bytes();
        }
        case Outcome::Skipped: return kNoPatch;
        case Outcome::Rewritten: break;
    }
    return {};
}

RewriteReport DropReportRows::ReportOf(std::size_t row) const {
    RewriteReport report;
    if (OutcomeOf(row) != Outcome::Rewritten) return report;
    Unpacker unpacker(bytes_.data() + starts_[row] + 1);
    unpacker.Bytes();  // the path
    report.sections.resize(static_cast<std::size_t>(unpacker.Varint()));
    for (SectionReport& section : report.sections) section = unpacker.Section();
    report.names.resize(static_cast<std::size_t>(unpacker.Varint()));
    for (KeyName& named : report.names) named = unpacker.Name();
    return report;
}

std::string DropReportRows::WhatKnobControls(std::size_t row, int slot) const {
    return pemberlock::WhatKnobControls(ReportOf(row), slot);
}

std::string DropReportRows::HeadLine(std::size_t row) const {
    std::string line(PathOf(row));
    line += ": ";
    line += OutcomeWords(row);
    const Outcome outcome = OutcomeOf(row);
    if (outcome != Outcome::Rewritten) {
        line += outcome == Outcome::Skipped ? ", " : ": ";
        line += ReasonOf(row);
    }
    return line;
}

std::string DropReportRows::Detail(std::size_t row) const {
    if (OutcomeOf(row) != Outcome::Rewritten) return {};
    return FormatRewriteReport(ReportOf(row));
}

void DropReportRows::AppendText(std::size_t row, std::string& out) const {
    out += HeadLine(row);
    out += '\n';
    out += Detail(row);
}

std::string DropReportRows::Text() const {
    std::string text = Summary() + "\n";
    for (std::size_t row = 0; row < Count(); ++row) AppendText(row, text);
    return text;
}

std::size_t DropReportRows::Bytes() const {
    return sizeof *this + bytes_.capacity() + starts_.capacity() * sizeof(std::uint64_t);
}

}  // namespace pemberlock
