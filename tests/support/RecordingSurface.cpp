#include "tests/support/RecordingSurface.h"

#include <algorithm>

namespace {

// Handles step by an odd stride so that they look like nothing a routine could guess.
constexpr PenHandle kHandleStride = 0x13;

} // namespace

void RecordingSurface::Note(std::size_t call, const std::string& what) {
    m_violations.push_back("call " + std::to_string(call) + ": " + what);
}

void RecordingSurface::EndPendingMove(std::size_t call) {
    if (m_moveWaiting) {
        Note(call - 1, "MoveTo not followed by a LineTo");
        m_moveWaiting = false;
    }
}

PenHandle RecordingSurface::CreatePen(PenStyle style, int width, Colour colour) {
    const PenHandle pen = m_nextHandle;
    m_nextHandle += kHandleStride;
    m_livePens.insert(pen);
    m_allPens[pen] = Pen{style, width, colour};
    Call call;
    call.kind = CallKind::CreatePen;
    call.pen = pen;
    call.style = style;
    call.width = width;
    call.colour = colour;
    EndPendingMove(m_calls.size());
    m_calls.push_back(call);
    return pen;
}

PenHandle RecordingSurface::SelectPen(PenHandle pen) {
    const std::size_t index = m_calls.size();
    EndPendingMove(index);
    if (!IsLive(pen)) {
        Note(index, "SelectPen of a pen that is not alive: " + std::to_string(pen));
    }
    // Selections nest: a pen is either newly selected on top of the current one, or the
    // pen it replaced comes back. Bringing back any other pen skips a restore.
    const PenHandle before = m_selected;
    if (m_selection.size() >= 2 && pen == m_selection[m_selection.size() - 2]) {
        m_selection.pop_back();
    } else if (const auto earlier = std::find(m_selection.begin(), m_selection.end(), pen);
               earlier != m_selection.end()) {
        if (pen != before) {
            Note(index, "pen " + std::to_string(before) + " replaced by " + std::to_string(pen) +
                            " instead of the pen before it, " +
                            std::to_string(m_selection[m_selection.size() - 2]));
        }
        m_selection.erase(earlier + 1, m_selection.end());
    } else {
        m_selection.push_back(pen);
    }
    m_selected = pen;
    Call call;
    call.kind = CallKind::SelectPen;
    call.pen = pen;
    call.returned = before;
    m_calls.push_back(call);
    return before;
}

void RecordingSurface::DeletePen(PenHandle pen) {
    const std::size_t index = m_calls.size();
    EndPendingMove(index);
    if (pen == kDefaultPen || !m_livePens.contains(pen)) {
        Note(index, "DeletePen of a pen that was not created or is already deleted: " +
                        std::to_string(pen));
    } else if (std::find(m_selection.begin(), m_selection.end(), pen) != m_selection.end()) {
        Note(index, "DeletePen of pen " + std::to_string(pen) +
                        ", which is selected or was never replaced by the pen before it");
    }
    m_livePens.erase(pen);
    Call call;
    call.kind = CallKind::DeletePen;
    call.pen = pen;
    m_calls.push_back(call);
}

void RecordingSurface::MoveTo(int x, int y) {
    EndPendingMove(m_calls.size());
    m_x = x;
    m_y = y;
    m_moveWaiting = true;
    Call call;
    call.kind = CallKind::MoveTo;
    call.x = x;
    call.y = y;
    m_calls.push_back(call);
}

void RecordingSurface::LineTo(int x, int y) {
    const std::size_t index = m_calls.size();
    if (!m_moveWaiting) {
        Note(index, "LineTo without a MoveTo right before it");
    }
    if (!IsLive(m_selected)) {
        Note(index, "LineTo with a deleted pen selected");
    }
    const auto look = m_allPens.find(m_selected);
    const Pen pen = look != m_allPens.end() ? look->second : Pen{PenStyle::Solid, 1, 0x00000000};
    m_lines.push_back(Line{m_x, m_y, x, y, m_selected, pen});
    m_x = x;
    m_y = y;
    m_moveWaiting = false;
    Call call;
    call.kind = CallKind::LineTo;
    call.x = x;
    call.y = y;
    m_calls.push_back(call);
}

void RecordingSurface::TextOut(int x, int y, std::string_view utf8) {
    const std::size_t index = m_calls.size();
    EndPendingMove(index);
    m_texts.push_back(Text{x, y, std::string(utf8), m_textColour});
    Call call;
    call.kind = CallKind::TextOut;
    call.x = x;
    call.y = y;
    call.text = std::string(utf8);
    m_calls.push_back(call);
}

void RecordingSurface::SetTextColour(Colour colour) {
    const std::size_t index = m_calls.size();
    EndPendingMove(index);
    m_textColour = colour;
    Call call;
    call.kind = CallKind::SetTextColour;
    call.colour = colour;
    m_calls.push_back(call);
}

std::size_t RecordingSurface::CountOf(CallKind kind) const {
    std::size_t count = 0;
    for (const Call& call : m_calls) {
        count += call.kind == kind ? 1 : 0;
    }
    return count;
}

std::vector<RecordingSurface::Line> RecordingSurface::LinesWith(PenStyle style,
                                                                Colour colour) const {
    std::vector<Line> lines;
    for (const Line& line : m_lines) {
        if (line.look.style == style && line.look.colour == colour) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> RecordingSurface::Violations() const {
    std::vector<std::string> violations = m_violations;
    if (m_moveWaiting) {
        violations.push_back("call " + std::to_string(m_calls.size() - 1) +
                             ": MoveTo not followed by a LineTo");
    }
    return violations;
}
