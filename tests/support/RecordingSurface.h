#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "display/DrawingSurface.h"

// A DrawingSurface that draws nothing: it logs every call with its arguments, checks the
// way the drawing routines use it, and answers questions about what was drawn.
//
// Pen handles are of its own choosing (0x1000, 0x1013, 0x1026, ... and never reused), so a
// routine that assumes handle values, or uses a pen after deleting it, shows up. Handle 0
// is the default pen: solid, width 1, black, selected at the start.
class RecordingSurface : public DrawingSurface {
public:
    enum class CallKind { CreatePen, SelectPen, DeletePen, MoveTo, LineTo, TextOut, SetTextColour };

    // One logged call. Only the fields that the kind names are set.
    struct Call {
        CallKind kind{};
        int x{}, y{};         // MoveTo, LineTo, TextOut
        PenHandle pen{};      // the handle CreatePen returned, or SelectPen's/DeletePen's argument
        PenHandle returned{}; // what SelectPen returned
        PenStyle style{};     // CreatePen
        int width{};          // CreatePen
        Colour colour{};      // CreatePen, SetTextColour
        std::string text;     // TextOut
    };

    struct Pen {
        PenStyle style{};
        int width{};
        Colour colour{};
        bool operator==(const Pen&) const = default;
    };

    // A line: a MoveTo and the LineTo after it, with the pen selected for the LineTo.
    struct Line {
        int x1{}, y1{}, x2{}, y2{};
        PenHandle pen{};
        Pen look;
        bool operator==(const Line&) const = default;
    };

    struct Text {
        int x{}, y{};
        std::string text;
        Colour colour{}; // the text colour when it was drawn
        bool operator==(const Text&) const = default;
    };

    static constexpr PenHandle kDefaultPen = 0;
    static constexpr Colour kDefaultTextColour = 0x00000000;

    PenHandle CreatePen(PenStyle style, int width, Colour colour) override;
    PenHandle SelectPen(PenHandle pen) override;
    void DeletePen(PenHandle pen) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void TextOut(int x, int y, std::string_view utf8) override;
    void SetTextColour(Colour colour) override;

    // Every call, in order.
    const std::vector<Call>& Calls() const { return m_calls; }
    std::size_t CountOf(CallKind kind) const;

    // Lines in the order drawn: all of them, or those of one pen look.
    const std::vector<Line>& Lines() const { return m_lines; }
    std::vector<Line> LinesWith(PenStyle style, Colour colour) const;

    // Texts in the order drawn, with their positions and colours.
    const std::vector<Text>& Texts() const { return m_texts; }

    // Pens created and not yet deleted.
    std::size_t LivePens() const { return m_livePens.size(); }
    PenHandle SelectedPen() const { return m_selected; }
    Colour TextColour() const { return m_textColour; }

    // Every breach of the rules the routines promise, one sentence each, naming the index
    // of the call: a line that is not one MoveTo followed by one LineTo; a pen selected or
    // deleted that was never created or is already deleted; a selected pen given up for any
    // pen but the one it replaced (selecting a new pen on top nests); a pen deleted before
    // the pen it replaced was selected again. Empty when clean.
    std::vector<std::string> Violations() const;

private:
    void Note(std::size_t call, const std::string& what);
    // Any call but LineTo ends a MoveTo; one still waiting for its LineTo is a breach.
    void EndPendingMove(std::size_t call);
    bool IsLive(PenHandle pen) const { return pen == kDefaultPen || m_livePens.contains(pen); }

    std::vector<Call> m_calls;
    std::vector<Line> m_lines;
    std::vector<Text> m_texts;
    std::vector<std::string> m_violations;
    std::set<PenHandle> m_livePens;
    std::map<PenHandle, Pen> m_allPens;              // every pen ever created, for the lines' looks
    std::vector<PenHandle> m_selection{kDefaultPen}; // selected pens, nested; last is current
    PenHandle m_nextHandle{0x1000};
    PenHandle m_selected{kDefaultPen};
    Colour m_textColour{kDefaultTextColour};
    int m_x{}, m_y{};     // current position
    bool m_moveWaiting{}; // the last call was a MoveTo that awaits its LineTo
};
