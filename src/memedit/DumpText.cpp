#include "DumpText.h"

#include <algorithm>

DumpText::DumpText(const DumpFormat &format, QObject *parent)
    : QObject(parent), format_(format), lineLength_(format.lineLength)
{
}

QChar DumpText::charAt(int q) const
{
    if (q < 0 || q >= length())
        return QChar();
    return text_.at(q);
}

DumpColour DumpText::colourAt(int q) const
{
    if (q < 0 || q >= length())
        return DumpColours::Black;
    return colours_[static_cast<std::size_t>(q)];
}

std::vector<DumpText::Run> DumpText::runs(int from, int to) const
{
    std::vector<Run> result;
    from = std::max(from, 0);
    to = std::min(to, length());
    for (int q = from; q < to; ++q) {
        const DumpColour c = colours_[static_cast<std::size_t>(q)];
        if (!result.empty() && result.back().colour == c)
            ++result.back().length;
        else
            result.push_back({q, 1, c});
    }
    return result;
}

void DumpText::clear()
{
    text_.clear();
    colours_.clear();
    undo_.clear();
    const int old = caret_;
    caret_ = 0;
    selection_ = 0;
    lineStartsValid_ = false;
    if (enabled_) {
        emit textReset();
        if (old != 0)
            emit caretMoved(old, 0);
    }
}

void DumpText::reserve(int characters)
{
    text_.reserve(characters);
    colours_.reserve(static_cast<std::size_t>(characters));
}

void DumpText::append(const QString &segment, DumpColour colour)
{
    const int at = length();
    text_.append(segment);
    colours_.resize(static_cast<std::size_t>(text_.size()), colour);
    if (segment.contains(QLatin1Char('\n')))
        lineStartsValid_ = false;
    if (enabled_)
        emit charactersChanged(at, static_cast<int>(segment.size()));
}

void DumpText::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled_)
        emit textReset();
}

void DumpText::setCaret(int p)
{
    p = std::clamp(p, 0, length());
    selection_ = 0;
    if (p == caret_)
        return;
    const int old = caret_;
    caret_ = p;
    if (enabled_)
        emit caretMoved(old, caret_);
}

void DumpText::select(int k)
{
    selection_ = std::clamp(k, 0, length() - caret_);
}

void DumpText::replaceSelection(const QString &s, DumpColour colour)
{
    const int p = caret_;
    const int k = selection_;
    replaceRange(p, k, s, std::vector<DumpColour>(static_cast<std::size_t>(s.size()), colour));
    selection_ = 0;
    const int old = caret_;
    caret_ = p + static_cast<int>(s.size());
    if (enabled_ && old != caret_)
        emit caretMoved(old, caret_);
}

void DumpText::replace(int p, int k, const QString &s, DumpColour colour)
{
    setCaret(p);
    select(k);
    replaceSelection(s, colour);
}

void DumpText::replaceRange(int p, int k, const QString &s, const std::vector<DumpColour> &colours)
{
    const auto first = static_cast<std::size_t>(p);
    const auto removed = static_cast<std::size_t>(k);
    if (recording_) {
        undo_.push_back(
            {p, static_cast<int>(s.size()), text_.mid(p, k),
             std::vector<DumpColour>(colours_.begin() + static_cast<std::ptrdiff_t>(first),
                                     colours_.begin() + static_cast<std::ptrdiff_t>(first + removed))});
    }
    const bool breaksInvolved = s.size() != k || s.contains(QLatin1Char('\n')) ||
                                QStringView(text_).mid(p, k).contains(QLatin1Char('\n'));
    text_.replace(p, k, s);
    if (static_cast<std::size_t>(s.size()) == removed) {
        std::copy(colours.begin(), colours.end(), colours_.begin() + static_cast<std::ptrdiff_t>(first));
    } else {
        colours_.erase(colours_.begin() + static_cast<std::ptrdiff_t>(first),
                       colours_.begin() + static_cast<std::ptrdiff_t>(first + removed));
        colours_.insert(colours_.begin() + static_cast<std::ptrdiff_t>(first), colours.begin(),
                        colours.end());
    }
    if (breaksInvolved)
        lineStartsValid_ = false;
    if (enabled_) {
        if (s.size() == k)
            emit charactersChanged(p, k);
        else
            emit textReset();
    }
}

void DumpText::setLineLength(int L)
{
    // A zero length would turn every line() into a division by zero.
    lineLength_ = std::max(L, 1);
}

int DumpText::line(int q) const
{
    // Floor division, so a position just before the text is on line -1.
    return q >= 0 ? q / lineLength_ : -((-q + lineLength_ - 1) / lineLength_);
}

int DumpText::column(int q) const
{
    return q - line(q) * lineLength_;
}

DumpText::Region DumpText::regionOfColumn(int column) const
{
    if (column <= format_.addressLastColumn)
        return Region::Address;
    if (column <= format_.dataLastColumn)
        return Region::Data;
    return Region::Outside;
}

DumpText::Region DumpText::regionOfCaret(int p) const
{
    if (column(p) == 0)
        return Region::Address;
    return regionOfColumn(column(p - 1));
}

void DumpText::ensureLineStarts() const
{
    if (lineStartsValid_)
        return;
    lineStarts_.clear();
    lineStarts_.push_back(0);
    for (int q = 0; q < length(); ++q) {
        if (text_.at(q) == QLatin1Char('\n'))
            lineStarts_.push_back(q + 1);
    }
    lineStartsValid_ = true;
}

int DumpText::lineFromChar(int q) const
{
    ensureLineStarts();
    q = std::clamp(q, 0, length());
    const auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), q);
    return static_cast<int>(it - lineStarts_.begin()) - 1;
}

int DumpText::lineCount() const
{
    ensureLineStarts();
    return static_cast<int>(lineStarts_.size());
}

int DumpText::lineStart(int lineIndex) const
{
    ensureLineStarts();
    lineIndex = std::clamp(lineIndex, 0, lineCount() - 1);
    return lineStarts_[static_cast<std::size_t>(lineIndex)];
}

int DumpText::lineEnd(int lineIndex) const
{
    lineIndex = std::clamp(lineIndex, 0, lineCount() - 1);
    if (lineIndex + 1 == lineCount())
        return length();
    const int lineFeed = lineStart(lineIndex + 1) - 1;
    return charAt(lineFeed - 1) == QLatin1Char('\r') && lineFeed > lineStart(lineIndex) ? lineFeed - 1
                                                                                        : lineFeed;
}

int DumpText::measureLineLength() const
{
    if (lineCount() < 2)
        return length();
    // The first index whose line is 1 is the start of the second line.
    return lineStart(1);
}

bool DumpText::navigate(int keyCode, int pageLines, bool control)
{
    const int p = caret_;
    const int l = lineFromChar(p);
    const int col = p - lineStart(l);
    const auto onLine = [this](int target, int wantedColumn) {
        target = std::clamp(target, 0, lineCount() - 1);
        return std::min(lineStart(target) + wantedColumn, lineEnd(target));
    };
    pageLines = std::max(pageLines, 1);
    switch (keyCode) {
    case 38: // Up
        setCaret(onLine(l - 1, col));
        return true;
    case 40: // Down
        setCaret(onLine(l + 1, col));
        return true;
    case 33: // Page Up
        setCaret(onLine(l - pageLines, col));
        return true;
    case 34: // Page Down
        setCaret(onLine(l + pageLines, col));
        return true;
    case 36: // Home
        setCaret(control ? 0 : lineStart(l));
        return true;
    case 35: // End
        setCaret(control ? length() : lineEnd(l));
        return true;
    default:
        return false;
    }
}

void DumpText::beginEdit()
{
    recording_ = true;
    editCaret_ = caret_;
    undo_.clear();
}

void DumpText::commitEdit()
{
    recording_ = false;
    undo_.clear();
}

void DumpText::rollbackEdit()
{
    recording_ = false;
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it)
        replaceRange(it->position, it->insertedLength, it->removedText, it->removedColours);
    undo_.clear();
    setCaret(editCaret_);
}
