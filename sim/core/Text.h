// Names, presets and paths come from files an operator (or anyone) wrote: any bytes at all. These
// make them safe for each place they are shown.
#pragma once

#include <cstddef>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

namespace sim {

// For a terminal: valid UTF-8 text stays as it is; control characters (C0, DEL, C1) and bytes
// that are not UTF-8 are written as \xNN, and a backslash as \\, so nothing a name holds can
// move the cursor, recolour the screen or pass for another name. Characters that show nothing but
// change what is shown (bidirectional marks and overrides, zero-width spaces and joiners, the
// byte-order mark) are written as \uNNNN.
std::string Printable(const std::string& text);

// For XML text and attribute values: & < > " ' become entities; bytes that are not UTF-8 and
// characters XML does not allow (C0 controls but tab, line feed and carriage return) become
// U+FFFD; the invisible characters above are written as \uNNNN.
std::string Xml_Text(const std::string& text);

// The last part of a path ("settings.ini" of "examples/settings.ini"), as charts name a file.
std::string File_Name(const std::string& path);

// About how wide `text` is drawn in the charts' 12 px sans-serif, in pixels.
inline double Text_Width(const std::string& text) { return 6.5 * static_cast<double>(text.size()); }

// A chart axis's step: the first of `ladder` (rising) that cuts `span` into at most `most`
// pieces. Past the ladder, a whole number of `beyond` that does; with `beyond` 0, the ladder's
// last step however many pieces it makes.
inline double Round_Step(double span, double most, std::initializer_list<double> ladder, double beyond)
{
    double step = 1;
    for (double s : ladder) {
        step = s;
        if (span / s <= most) {
            return s;
        }
    }
    return beyond > 0 ? std::ceil(span / most / beyond) * beyond : step;
}

// Rows for labels along a chart's axis: each label goes on the first row where it overlaps no
// label placed before it.
class LabelRows
{
public:
    // The row (0 the first) of a label from `from` to `to`, in pixels.
    std::size_t Place(double from, double to)
    {
        std::size_t row = 0;
        while (row < Ends.size() && Ends[row] > from) {
            ++row;
        }
        if (row == Ends.size()) {
            Ends.push_back(to);
        } else {
            Ends[row] = to;
        }
        return row;
    }
    std::size_t Count() const { return Ends.size(); }

private:
    std::vector<double> Ends;  // where each row's last label ends
};

// `text` broken at blanks into lines of at most `width` characters (a longer word stands alone),
// each after the first begun with `indent`; every line ends with a line feed.
std::string Wrapped(const std::string& text, std::size_t width, const std::string& indent);

// Every number any input of the simulator takes is written in decimal: an optional sign, digits
// with an optional point, and an optional exponent; no blanks, no hex, no "inf" or "nan".
bool Is_Decimal(const std::string& text);
// A decimal number (as above) within what a double holds; false otherwise.
bool Parse_Finite(const std::string& text, double& value);

}  // namespace sim
