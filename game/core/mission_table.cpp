#include "game/core/mission_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

TPlayer Player;
std::array<TEpisode, MissionCount + 1> Episodes;
std::array<TWayPath, WayPathCount + 1> WayPaths{};

namespace {

// One level as written in the design: enemy types as letters (a = type 1 ..
// s = type 19, '.' none); wave rows from row 1 separated by blanks; the
// formation's non-empty rows as "row:cells".
struct TLevelLayout {
  int Mission;
  int Level;
  const char* Waves;
  const char* Formation;
  int BossKind;
  int BossParts;
};

constexpr TLevelLayout Layouts[] = {
    {1, 1, "", "2:..dddddddd.. 3:..dddddddd.. 4:...dddddd... 5:....dddd....", 0, 0},
    {1, 2, "bbbbbb..", "3:..dd........ 4:.dddd....... 6:......dddd.. 7:.......dd...", 0, 0},
    {1, 3, "aaaaaa..", "4:..dddddddd.. 5:...dddddd...", 0, 0},
    {1, 4, "aaaaaa.. bbbbb...", "6:dddddd...... 7:.....dddddd.", 0, 0},
    {1, 5, "aaaa.... bbbb....", "3:.....ee..... 4:....eeee.... 5:...eeeeee... 6:..dddddddd..", 0,
     0},
    {1, 6, "ccccc... bbbbb...", "3:.eeee....... 4:......eeee.. 6:.eeee.......", 0, 0},
    {1, 7, "ccccc... aaaaa...", "5:..g.g..g.g.. 6:.g.g.gg.g.g.", 0, 0},
    {1, 8, "bbbbb... fffff...",
     "1:dd.......... 2:dd.......... 4:......dd.... 5:..dd..dd.... 6:..dd........ 7:..........dd "
     "8:..........dd",
     0, 0},
    {1, 9, "hhhhh... ffffff..", "", 0, 0},
    {1, 10, "", "", 1, 4},
    {2, 1, "", "3:.....ii..... 4:....iiii.... 5:...iiiiii... 6:..iiiiiiii..", 0, 0},
    {2, 2, "jjjjjj..",
     "1:........i... 2:.......iii.. 3:..i....iii.. 4:.iii....i... 5:.iii........ 6:..i.........", 0,
     0},
    {2, 3, "ajajajaj", "6:.g.g.gg.g.g.", 0, 0},
    {2, 4, "hhhh.... jjjjj...", "5:..eeeeeeee.. 6:..eeeeeeee..", 0, 0},
    {2, 5, "kkk..... ccccc...", "5:.....ee..... 6:ee........ee 7:..dddddddd..", 0, 0},
    {2, 6, "fffff... kkkk....", "4:.g.g....g.g. 5:g.g.g..g.g.g 6:.g.g....g.g.", 0, 0},
    {2, 7, "akakakak hhhh....", "", 0, 0},
    {2, 8, "jjjjj... cccc....",
     "1:.......e.... 2:....d......d 3:.d......d... 4:e...d.....e. 6:..d.e.d..... 7:.........d.. "
     "8:...e........",
     0, 0},
    {2, 9, "kkkkkk.. hhhhh...", "7:.g.g.gg.g.g.", 0, 0},
    {2, 10, "kckckckc", "7:......e.ee.e 8:dddddd.d..d.", 0, 0},
    {3, 1, "", "3:.lel....lel. 4:.lll....lll. 6:....llll.... 7:....lddl.... 8:....llll....", 0, 0},
    {3, 2, "bbbbb... jjjjj...",
     "1:......l..... 2:..........l. 3:...l........ 4:.l......l... 5:.....l...... 7:..l.......l.", 0,
     0},
    {3, 3, "ffffff.. aaaaa...", "5:.lil....lil. 6:....i..i....", 0, 0},
    {3, 4, "hhhh.... ccccc...",
     "2:.g....g...g. 3:....g....... 4:g.....g.g..g 5:...g........ 6:.....g.....g 7:.g.....g....", 0,
     0},
    {3, 5, "mmmmmm.. aaajjj..", "", 0, 0},
    {3, 6, "kkkk.... mmmmm...",
     "2:.l.........l 3:.....l...... 4:l.......l... 6:..l..l...... 7:..........l.", 0, 0},
    {3, 7, "nnnn....", "5:.g.g....g.g. 7:g.g.gggg.g.g 8:.iiiiiii....", 0, 0},
    {3, 8, "nnnn.... mmmmcccc", "", 0, 0},
    {3, 9, "nnnnn... kkkk.... jjjjjjj.", "", 0, 0},
    {3, 10, "", "", 2, 6},
    {4, 1, "", "2:.eee.....eee 3:.eee.....eee 4:....iiiii... 5:....iiiii... 6:.ddd.....ddd", 0, 0},
    {4, 2, "jjjjaaaa", "3:..iiiiiiii.. 4:....iiii....", 0, 0},
    {4, 3, "bbbbbbb.", "5:..dddddd.... 6:.dddddd..... 7:dddddd......", 0, 0},
    {4, 4, "hhhhh... ccc.....",
     "1:.l.......... 3:....l...l... 4:..l........l 5:....l..l.... 6:l........l.. 7:....l.......", 0,
     0},
    {4, 5, "kkkkkk..", "5:e.e...e..... 6:.e..e..e.e.e 7:e...e.e..e.. 8:..e...e....e", 0, 0},
    {4, 6, "hhhh.... nnnn....", "5:ddddd..ddddd 6:.ddd....ddd. 7:..d......d..", 0, 0},
    {4, 7, "mmmmm... ffffff.. ccccc...", "", 0, 0},
    {4, 8, "jajajaja ffffff..", "4:.....dd..... 5:.eee.dd.eee. 6:.e.e.dd.e.e. 7:.eee....eee.", 0,
     0},
    {4, 9, "bkbkbkbk",
     "3:.ee..ee..ee. 4:d..dd..dd..d 5:...gggggg... 6:..g......g.. 7:.g........g. 8:g..........g", 0,
     0},
    {4, 10, "jjjjjjjj jjj.....", "6:ddddd....... 7:....dddddddd 8:ddddd.......", 0, 0},
    {5, 1, "",
     "1:dddd........ 2:.....dd..... 3:....eeee.... 4:...deiied... 5:...deiied... 6:....eeee.... "
     "7:.....dd..... 8:........dddd",
     0, 0},
    {5, 2, "kkkkkbbb bb......",
     "4:.....d..d... 5:.....dddd... 6:dddd........ 7:d..d....dddd 8:........d..d", 0, 0},
    {5, 3, "jjjjjaaa aa......", "5:g.g.g..g.g.g 6:gggg....gggg 8:..eeee......", 0, 0},
    {5, 4, "mmmmcccc c.......",
     "3:........i.i. 4:....i.i.i.i. 5:i.i.i.i..... 6:i.i......... 7:gggggggggggg", 0, 0},
    {5, 5, "hhhhhhhh",
     "2:..........l. 3:.....l...lll 4:....lll...l. 5:..l..l...... 6:.lll...l.... 7:..l...lll... "
     "8:.......l....",
     0, 0},
    {5, 6, "ffffffff aaaaa...",
     "1:d.....d..... 2:..e.......e. 3:......e.d... 4:e.d......... 5:e...d..e.... 6:..........d. "
     "7:.d....d.e... 8:....e.......",
     0, 0},
    {5, 7, "nnnn.... ffff....",
     "4:.....dd..... 5:....dddd.... 6:...dddddd... 7:..dddddddd.. 8:.dddddddddd.", 0, 0},
    {5, 8, "nnn..... bbbbbbb.",
     "1:.......i.... 2:.....iiiii.. 3:.......i.... 4:..i......... 5:iiiii....... 6:..i....i.... "
     "7:.....iiiii.. 8:.......i....",
     0, 0},
    {5, 9, "nnn..... kkkk.... mmm.....",
     "5:..eeeeeeee.. 6:...eeeeee... 7:....eeee.... 8:.....ee.....", 0, 0},
    {5, 10, "", "", 3, 6},
    {6, 1, "",
     "2:..oooooooo.. 3:...oooooo... 4:....oooo.... 5:.....oo..... 6:....oooo.... 8:.....oo.....", 0,
     0},
    {6, 2, "qqq.....", "3:.ooooo...... 5:.....ooooo.. 7:ooooo.......", 0, 0},
    {6, 3, "bbbbb...", "1:...pppppp... 5:.p........p. 6:ppp......ppp 7:.p........p.", 0, 0},
    {6, 4, "qqqq.... bbbbb...",
     "2:....o......o 3:o.......o... 4:....o....... 5:..o...o..o.. 7:o..o...o...o", 0, 0},
    {6, 5, "hhhhh...",
     "1:o.....p..... 2:...p...o.p.. 3:...........o 4:p....o.p.... 5:...p........ 6:..o....o..p. "
     "7:p....p...... 8:........p...",
     0, 0},
    {6, 6, "hhhh.... qqqq....", "4:....poop.... 5:...ppoopp... 6:..pppooppp..", 0, 0},
    {6, 7, "qqqqqq.. ccccc...", "", 0, 0},
    {6, 8, "kkkkkk..", "3:.oo...oo.... 4:.oo...oo.... 6:...oo...oo.. 7:...oo...oo..", 0, 0},
    {6, 9, "qqqqq... kkkk....",
     "1:....o......o 2:.o......ppp. 3:.........p.. 4:....ppp..... 5:.....p...o.. 6:ppp......... "
     "7:.p....o..... 8:o.........o.",
     0, 0},
    {6, 10, "qqqqqq..", "6:...eeeeeee.. 7:ppppppp..... 8:..oooooooo..", 0, 0},
    {7, 1, "", "2:.p.p.pp.p.p. 3:..p.p..p.p.. 4:...p.pp.p... 5:....p..p.... 6:.....pp.....", 0, 0},
    {7, 2, "",
     "1:......ppp... 2:ppp......ooo 3:....oooppp.. 4:..ppp...ooo. 6:ppp..ppp.... 7:..ooo....... "
     "8:........ppp.",
     0, 0},
    {7, 3, "rrrrrr..",
     "1:......d..... 2:.....d.....d 3:....d.....d. 4:...d.....d.. 5:..d.....d... 6:.d.....d.... "
     "7:d.....d..... 8:.....d......",
     0, 0},
    {7, 4, "nnnnn...", "3:.ooo....ooo. 4:.odo....odo. 5:.ooo....ooo. 7:d...dddd...d", 0, 0},
    {7, 5, "nnnn.... rrrr....",
     "4:.p........p. 5:p.p......p.p 6:...p....p... 7:....p..p.... 8:.....pp.....", 0, 0},
    {7, 6, "rqrqq... rqr.....", "7:.....dd.dddd 8:ddddddd.....", 0, 0},
    {7, 7, "qqqqq... jjjjj...", "4:pp........pp 5:pp........pp 8:..oooooooo..", 0, 0},
    {7, 8, "aaaaaaa. fffffff.", "7:dd.d.dd.d.dd 8:..d.d..d.d..", 0, 0},
    {7, 9, "ffffff.. qqqqq...",
     "1:......p..o.. 2:o.p.o....... 3:...........p 4:p.o......o.. 5:......o..... 7:.o..o.p.o..o "
     "8:...p........",
     0, 0},
    {7, 10, "rrrrr... qqqqq...", "", 0, 0},
    {8, 1, "",
     "1:....e...e..e 2:.e......e... 3:.....p...... 4:....ppp..... 5:...ppppp.... 6:e.........e. "
     "7:...e........ 8:.e.....e....",
     0, 0},
    {8, 2, "mmmmm...", "4:e.e......e.e 5:.e.e....e.e. 6:..e.e..e.e.. 7:.....pp..... 8:.....pp.....",
     0, 0},
    {8, 3, "nnn..... qqq.....",
     "1:..i.......i. 2:.....i...... 4:.i......i..i 5:....i....... 6:..i......i.. 7:i.....i..... "
     "8:...........i",
     0, 0},
    {8, 4, "ssss....", "7:..oooooooo..", 0, 0},
    {8, 5, "rrrrr... fffff...", "3:.....oo..... 4:....oooo.... 5:...o.oo.o... 6:..o......o..", 0,
     0},
    {8, 6, "sss..... rrr.....", "3:...p....p... 4:.....pp..... 6:.p........p. 8:p..o....o..p", 0,
     0},
    {8, 7, "kkkkk... qqqq....", "4:...ii..ii... 5:.iiii..iiii.", 0, 0},
    {8, 8, "qqqq.... sss.....",
     "1:i..........i 2:...i........ 3:........i... 5:..i......... 7:....oooo..i. 8:i...oooo....", 0,
     0},
    {8, 9, "qqqqqqq.",
     "1:........o... 2:.......ooo.. 3:....o...o... 4:...ooo....o. 5:.o..o....ooo 6:ooo....o..o. "
     "7:.o....ooo... 8:.......o....",
     0, 0},
    {8, 10, "sssss...", "", 0, 0},
    {9, 1, "",
     "1:......o..... 2:.....opo.... 3:.o....o..... 4:opo......... 5:.o.......... 6:....o.....o. "
     "7:...opo...opo 8:....o.....o.",
     0, 0},
    {9, 2, "bbbbbbbb",
     "1:...........o 2:..o......... 3:......o.o... 4:o...o....... 6:..o......o.. 7:......o..... "
     "8:...........o",
     0, 0},
    {9, 3, "cccc.... fffff...",
     "1:.....o...... 2:...o.......o 3:.o.......... 4:.....o...o.. 5:...o........ 6:.......o.... "
     "7:.o.......... 8:....o......o",
     0, 0},
    {9, 4, "s....... qqqq.... cc......",
     "1:p..........p 2:....p....... 3:p........p.. 4:......p..... 5:..p......... 6:........p... "
     "7:....p....... 8:...........p",
     0, 0},
    {9, 5, "ss...... rrrr.... qq......",
     "1:p........p.. 2:....p....... 3:.p....p..... 4:....p....p.p 6:..p......... 7:p.....p..... "
     "8:..........p.",
     0, 0},
    {9, 6, "sss..... jjjjjj..",
     "1:...o....p..o 2:.p...p...... 3:.......o.... 4:...p.....o.. 5:p....o.....p 6:.......p.... "
     "7:o.p......... 8:.........p..",
     0, 0},
    {9, 7, "ssss.... nnn.....",
     "1:o.p..o..o..o 2:.......p.... 3:..o.....p.o. 4:p........... 5:....p.o..... 6:.o........o. "
     "7:...o........ 8:p....p.o....",
     0, 0},
    {9, 8, "qqqqqqqq", "6:...oooooo... 7:....oooo.... 8:.....oo.....", 0, 0},
    {9, 9, "rrrrrrrr", "6:...oooooo... 7:....oooo.... 8:.....oo.....", 0, 0},
    {9, 10, "ssss.... qqqqq...", "", 0, 0},
    {10, 1, "",
     "1:l..i...o...l 2:..o..e..o... 3:.i.p..d..... 4:....i...e.p. 5:d.l...l..... 6:....d...i.d. "
     "7:i.o...e.d... 8:.e..p..i..p.",
     0, 0},
    {10, 2, "aaaaaaaa jjjjj...", "", 0, 0},
    {10, 3, "bbbbbbbb kkkkk...", "", 0, 0},
    {10, 4, "ffffffff f.......", "", 0, 0},
    {10, 5, "cccccccc mmmmmmmm", "", 0, 0},
    {10, 6, "hhhhhh.. nnnn....", "", 0, 0},
    {10, 7, "rrrrrrrr rrr.....", "", 0, 0},
    {10, 8, "qqqqqqqq qqqq....", "", 0, 0},
    {10, 9, "ssssss..", "", 0, 0},
    {10, 10, "", "", 3, 6},
};

// Background pictures of each mission: slots 2..5 of levels 1..9 and slots
// 6..9 of level 10.
struct TMissionBackgrounds {
  std::array<const char*, 4> Ordinary;
  std::array<const char*, 4> LastLevel;
};

constexpr TMissionBackgrounds Backgrounds[MissionCount] = {
    {{"back2", "stars2", "stars1", "stars3"}, {"back2", "stars3", "layer2", "layer1"}},
    {{"back1", "stars2", "stars1", "stars3"}, {"back1", "stars3", "layer2", "layer1"}},
    {{"back3", "stars2", "stars1", "stars3"}, {"back3", "stars3", "layer2", "layer1"}},
    {{"back4", "stars2", "stars1", "stars3"}, {"back4", "stars3", "layer2", "layer1"}},
    {{"back5", "stars2", "stars1", "stars3"}, {"back5", "stars3", "layer2", "layer1"}},
    {{"back2", "stars2", "layer3", "layer2"}, {"back2", "stars2", "layer3", "layer2"}},
    {{"back4", "stars2", "layer4", "layer1"}, {"back4", "stars2", "layer4", "layer1"}},
    {{"back1", "stars1", "layer1", "layer2"}, {"back1", "stars1", "layer1", "layer2"}},
    {{"back3", "stars3", "layer4", "layer3"}, {"back3", "stars3", "layer4", "layer3"}},
    {{"back5", "stars2", "layer4", "layer2"}, {"back5", "stars2", "layer4", "layer2"}},
};

int32_t CellType(char c) {
  return c >= 'a' && c <= 's' ? c - 'a' + 1 : 0;
}

// Fills Cells' rows from Text: with Numbered, "row:cells" groups; otherwise
// consecutive rows from 1.
template <size_t Rows, size_t Columns>
void FillGrid(std::array<std::array<int32_t, Columns>, Rows>& Cells, const char* Text,
              bool Numbered) {
  size_t row = 1;
  const char* p = Text;
  while (*p) {
    while (*p == ' ') ++p;
    if (!*p) break;
    if (Numbered) {
      row = 0;
      while (*p >= '0' && *p <= '9') row = row * 10 + static_cast<size_t>(*p++ - '0');
      if (*p == ':') ++p;
    }
    for (size_t col = 1; *p && *p != ' '; ++p, ++col)
      if (row < Rows && col < Columns) Cells[row][col] = CellType(*p);
    ++row;
  }
}

}  // namespace

const std::array<TWayPathShape, WayPathCount + 1> WayPathShapes = {{
    {},
    {100,
     730,
     22,
     239,
     {{{1, 100, 25},
       {50, 311, 23},
       {100, 614, 24},
       {150, 622, 84},
       {200, 336, 137},
       {250, 189, 239},
       {300, 552, 228},
       {350, 693, 191},
       {400, 241, 76}}}},
    {100,
     730,
     0,
     321,
     {{{1, 398, 3},
       {50, 161, 62},
       {100, 170, 288},
       {150, 373, 210},
       {200, 540, 297},
       {250, 730, 255},
       {300, 704, 114},
       {350, 566, 30},
       {400, 437, 0}}}},
    {100,
     730,
     21,
     319,
     {{{1, 100, 21},
       {50, 445, 29},
       {100, 730, 71},
       {150, 379, 130},
       {200, 100, 186},
       {250, 422, 225},
       {300, 661, 309},
       {350, 100, 215},
       {400, 291, 43}}}},
    {105,
     730,
     0,
     287,
     {{{1, 105, 0},
       {50, 644, 9},
       {100, 485, 109},
       {150, 333, 181},
       {200, 628, 57},
       {250, 441, 112},
       {300, 272, 232},
       {350, 151, 112},
       {400, 173, 73}}}},
    {115,
     730,
     0,
     337,
     {{{1, 730, 35},
       {50, 576, 287},
       {100, 328, 246},
       {150, 573, 59},
       {200, 336, 44},
       {250, 170, 215},
       {300, 198, 28},
       {350, 473, 38},
       {400, 654, 98}}}},
    {103,
     730,
     22,
     327,
     {{{1, 130, 43},
       {50, 647, 322},
       {100, 311, 48},
       {150, 306, 187},
       {200, 175, 149},
       {250, 619, 245},
       {300, 232, 292},
       {350, 659, 210},
       {400, 160, 90}}}},
    {100,
     730,
     1,
     336,
     {{{1, 100, 14},
       {50, 709, 193},
       {100, 644, 28},
       {150, 211, 286},
       {200, 442, 214},
       {250, 622, 52},
       {300, 576, 221},
       {350, 332, 163},
       {400, 132, 80}}}},
    {100,
     391,
     9,
     116,
     {{{1, 100, 11},
       {50, 331, 23},
       {100, 203, 45},
       {150, 178, 79},
       {200, 286, 108},
       {250, 104, 97},
       {300, 271, 52},
       {350, 216, 56},
       {400, 100, 20}}}},
}};

namespace {

struct TKnot {
  int32_t Point;
  double Value;
};

// One coordinate of a closed path through Knots (sorted by point, the first
// at point 1 and the last at point 400), the curve running on from the last
// knot back to the first over Gap more points. Between two knots the curve
// is a cubic that runs monotonically from one value to the other, so it
// never leaves the values the knots span and turns only at a knot that is a
// local extreme (shape-preserving Hermite interpolation).
class TClosedCurve {
 public:
  TClosedCurve(const std::vector<TKnot>& Knots, int32_t Gap)
      : knots_(Knots), gap_(Gap), tangent_(Knots.size()) {
    const size_t n = knots_.size();
    for (size_t i = 0; i < n; ++i) {
      const size_t before = (i + n - 1) % n;
      const double d0 = Slope(before), d1 = Slope(i);
      if (d0 * d1 <= 0) continue;  // an extreme, or flat on one side: stand still here
      const double h0 = Span(before), h1 = Span(i);
      const double w0 = 2 * h1 + h0, w1 = h1 + 2 * h0;
      tangent_[i] = (w0 + w1) / (w0 / d0 + w1 / d1);
    }
  }

  void Fill(std::array<int32_t, WayPathPoints + 1>& Out) const {
    size_t k = 0;
    for (int32_t point = 1; point <= WayPathPoints; ++point) {
      while (k + 2 < knots_.size() && knots_[k + 1].Point <= point) ++k;
      const double h = Span(k);
      const double u = (point - knots_[k].Point) / h;
      const double a = knots_[k].Value, b = knots_[k + 1].Value;
      const double value =
          (2 * u * u * u - 3 * u * u + 1) * a + (u * u * u - 2 * u * u + u) * h * tangent_[k] +
          (-2 * u * u * u + 3 * u * u) * b + (u * u * u - u * u) * h * tangent_[k + 1];
      Out[static_cast<size_t>(point)] = static_cast<int32_t>(std::lround(value));
    }
  }

  // How much the curve moves along its coordinate: the integral of its
  // squared speed over the whole closed curve. On a piece of span h from a
  // to b with end tangents m0, m1, and D = b - a, A = h m0, B = h m1, it is
  // (6/5 D^2 + 2/15 A^2 + 2/15 B^2 - 1/5 D A - 1/5 D B - 1/15 A B) / h.
  double Energy() const {
    const size_t n = knots_.size();
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const double h = Span(i);
      const double d = knots_[(i + 1) % n].Value - knots_[i].Value;
      const double a = h * tangent_[i], b = h * tangent_[(i + 1) % n];
      sum += (6.0 / 5 * d * d + 2.0 / 15 * (a * a + b * b) - 1.0 / 5 * d * (a + b) -
              1.0 / 15 * a * b) /
             h;
    }
    return sum;
  }

 private:
  double Span(size_t i) const {
    return i + 1 < knots_.size() ? static_cast<double>(knots_[i + 1].Point - knots_[i].Point)
                                 : gap_;
  }
  double Slope(size_t i) const {
    return (knots_[(i + 1) % knots_.size()].Value - knots_[i].Value) / Span(i);
  }

  const std::vector<TKnot>& knots_;
  int32_t gap_;
  std::vector<double> tangent_;
};

// A path fills its range: each end of it that no sample lies on is reached
// at one more knot. The knot goes to the point (not a sample's) at which the
// closed curve through the samples and that end moves least along that
// coordinate (the smallest TClosedCurve::Energy): where the samples already
// run near that end and far apart, the curve swings out gently; anywhere
// else it would rush out and back. The lower end is placed first, then the
// upper one with the lower in place.
void ReachRangeEnds(std::vector<TKnot>& Knots, int32_t Gap, int32_t Min, int32_t Max) {
  auto byPoint = [](const TKnot& a, const TKnot& b) { return a.Point < b.Point; };
  for (int32_t end : {Min, Max}) {
    if (std::any_of(Knots.begin(), Knots.end(), [&](const TKnot& k) { return k.Value == end; }))
      continue;
    std::vector<TKnot> best, trial;
    double least = 0;
    for (int32_t point = 2; point < WayPathPoints; ++point) {
      if (std::any_of(Knots.begin(), Knots.end(), [&](const TKnot& k) { return k.Point == point; }))
        continue;
      trial = Knots;
      trial.insert(std::upper_bound(trial.begin(), trial.end(), TKnot{point, 0}, byPoint),
                   TKnot{point, static_cast<double>(end)});
      const double energy = TClosedCurve(trial, Gap).Energy();
      if (best.empty() || energy < least) {
        least = energy;
        best = trial;
      }
    }
    if (!best.empty()) Knots = std::move(best);
  }
}

// Path p as a smooth closed curve through its nine samples and out to the
// ends of its range. Flyers go from point 400 straight on to point 2, so the
// curve closes over as many points as that leg takes at the path's average
// pace between samples.
void BuildWayPath(int p) {
  const TWayPathShape& shape = WayPathShapes[static_cast<size_t>(p)];
  std::vector<TKnot> xs, ys;
  double length = 0;
  for (size_t s = 0; s < shape.Samples.size(); ++s) {
    const TWayPathSample& a = shape.Samples[s];
    xs.push_back({a.Point, static_cast<double>(a.X)});
    ys.push_back({a.Point, static_cast<double>(a.Y)});
    if (s + 1 < shape.Samples.size())
      length += std::hypot(shape.Samples[s + 1].X - a.X, shape.Samples[s + 1].Y - a.Y);
  }
  const TWayPathSample& first = shape.Samples.front();
  const TWayPathSample& last = shape.Samples.back();
  const double pace = length / (WayPathPoints - 1);
  const auto gap = static_cast<int32_t>(
      std::max(1L, std::lround(std::hypot(first.X - last.X, first.Y - last.Y) / pace)));
  ReachRangeEnds(xs, gap, shape.MinX, shape.MaxX);
  ReachRangeEnds(ys, gap, shape.MinY, shape.MaxY);
  TClosedCurve(xs, gap).Fill(WayPaths[static_cast<size_t>(p)].X);
  TClosedCurve(ys, gap).Fill(WayPaths[static_cast<size_t>(p)].Y);
}

}  // namespace

void InitMissionTable() {
  Player = TPlayer();

  for (int m = 1; m <= MissionCount; ++m) {
    Episodes[m] = TEpisode();
    Episodes[m].Name =
        m == 1 ? "Mission1: invasion" : "\xCC\xE8\xF1\xF1\xE8\xFF" + std::to_string(m);
  }
  for (const TLevelLayout& l : Layouts) {
    TLevel& level = Episodes[l.Mission].Levels[l.Level];
    FillGrid(level.Waves, l.Waves, false);
    FillGrid(level.Formation, l.Formation, true);
    level.BossKind = l.BossKind;
    level.BossParts = l.BossParts;
    const TMissionBackgrounds& b = Backgrounds[l.Mission - 1];
    for (int i = 0; i < 4; ++i) {
      if (l.Level < LevelsPerMission)
        level.Backgrounds[2 + i] = b.Ordinary[i];
      else
        level.Backgrounds[6 + i] = b.LastLevel[i];
    }
  }

  for (int p = 1; p <= WayPathCount; ++p) BuildWayPath(p);
}
