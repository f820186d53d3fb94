// The HUD pictures: the tachometer dial, the 3 x 3 grid of gear pictures
// drawn at the dial's centre, and the pit board whose blank face carries the
// rider's lap, place and times.
#include "interface.h"
#include "noise.h"
#include "release.h"

#include <string>

namespace {

// Sizes are fractions of the picture unless they say pixels.
struct HudLayout {
    // Tachometer: the HUD draws the whole picture as the dial, rotates its
    // needle 0.016875 degrees per rpm from 135 degrees left of straight up
    // (0 rpm) and covers the middle third with the gear picture.
    int tach_size = 256;
    double degrees_per_rpm = 0.016875;
    double zero_degrees = -135;
    int dial_rpm = 16000;
    int red_rpm = 13000; // the four-strokes peak at 13250
    double bezel_inner = 0.9, face_radius = 0.91; // of the dial's radius
    double red_inner = 0.7, red_outer = 0.86;
    double major_inner = 0.72, minor_inner = 0.79, tick_outer = 0.86;
    double major_width = 3.2, minor_width = 1.6; // pixels
    double numeral_radius = 0.575, numeral_size = 0.16;
    double label_y = 0.66, label_size = 0.085;
    Colour bezel_light{0.78, 0.79, 0.82, 1}, bezel_dark{0.2, 0.21, 0.23, 1};
    Colour face_centre{0.17, 0.18, 0.2, 1}, face_edge{0.04, 0.04, 0.05, 1};
    Colour red{0.86, 0.1, 0.07, 1}, tick{0.96, 0.96, 0.94, 1}, label{0.62, 0.64, 0.66, 1};
    // Shifter: gear values 0 to 5 are first to sixth gear; the last row of
    // the grid is never selected and stays clear.
    int shifter_size = 256;
    int gears = 6;
    double badge_radius = 0.4, rim_width = 0.045, digit_size = 0.64; // of a cell
    Colour badge_top{0.2, 0.21, 0.24, 0.95}, badge_bottom{0.04, 0.04, 0.05, 0.95};
    Colour rim{1.0, 0.62, 0.1, 1}, digit{0.98, 0.98, 0.95, 1}, digit_shadow{0, 0, 0, 0.6};
    int shadow_blur = 1, shadow_dx = 1, shadow_dy = 2; // pixels
    // Pit board: the HUD shows rows 0.1875 .. 0.875 of the square picture
    // and writes black text from x 0.195 and y 0.25 to about 0.93 and 0.73.
    int pitboard_size = 512;
    double board_left = 0.14, board_top = 0.205, board_right = 0.985, board_bottom = 0.8;
    double board_radius = 0.03, frame_width = 0.018;
    double header_bottom = 0.335; // the yellow band behind the rider's number
    double pole_y0 = 0.68, pole_y1 = 0.6, pole_reach = 0.06, pole_width = 0.045; // reach: under the board
    double shine_offset = 0.22, shine_width = 0.2; // of the pole's width
    double bolt_radius = 0.008, bolt_inset = 0.026, bolt_shine = 0.45; // shine: of the radius
    double shadow_x = 0.012, shadow_y = 0.016, shadow_soft = 6; // pixels
    Colour frame{0.08, 0.08, 0.09, 1}, board{0.97, 0.97, 0.94, 1}, header{0.99, 0.8, 0.08, 1};
    Colour pole{0.36, 0.37, 0.4, 1}, pole_shine{0.75, 0.76, 0.78, 1}, bolt{0.55, 0.56, 0.58, 1};
    Colour shadow{0, 0, 0, 0.4}, scuff{0.82, 0.81, 0.77, 1};
    double scuff_pixels = 32, scuff_strength = 0.3;
    uint32_t scuff_seed = 0x9b0a4d17;
    const char* face = "DejaVuSans-Bold.ttf";
};

const HudLayout hud;

// Direction of an rpm on the dial, clockwise from straight up, y down.
Point dial_direction(double rpm)
{
    double a = (hud.zero_degrees + rpm * hud.degrees_per_rpm) * pi / 180;
    return {det_sin(a), -det_cos(a)};
}

// Distance to the sector between two rpm values (narrower than half a turn).
double sector_distance(Point p, Point centre, double rpm0, double rpm1)
{
    Point a = dial_direction(rpm0), b = dial_direction(rpm1);
    double dx = p.x - centre.x, dy = p.y - centre.y;
    // Positive on the outer side of each bounding ray.
    double d0 = -(a.x * dy - a.y * dx), d1 = b.x * dy - b.y * dx;
    return d0 > d1 ? d0 : d1;
}

Picture tachometer(Face* face)
{
    const int s = hud.tach_size;
    const double r = s / 2.0;
    const Point c{r, r};
    Canvas canvas = make_canvas(s, s, with_alpha(hud.bezel_dark, 0));
    fill_circle(&canvas, c, r - 0.5, linear_gradient({r, 0}, hud.bezel_light, {r, double(s)}, hud.bezel_dark));
    // The face is a touch wider than the bezel's inner edge, so the two
    // meet without a gap.
    const double face_r = hud.face_radius * r;
    fill_circle(&canvas, c, face_r - 0.5, [&](double x, double y) {
        double dx = x - c.x, dy = y - c.y;
        return mix(hud.face_centre, hud.face_edge, (dx * dx + dy * dy) / (face_r * face_r));
    });
    fill_ring(&canvas, c, hud.bezel_inner * r - 1, hud.bezel_inner * r, solid(hud.face_edge));
    paint(&canvas, {0, 0, s, s}, [&](double x, double y) {
        double ring = circle_distance({x, y}, c, (hud.red_inner + hud.red_outer) * r / 2);
        ring = (ring < 0 ? -ring : ring) - (hud.red_outer - hud.red_inner) * r / 2;
        double sector = sector_distance({x, y}, c, hud.red_rpm, hud.dial_rpm);
        return ring > sector ? ring : sector;
    }, solid(hud.red));
    for (int rpm = 0; rpm <= hud.dial_rpm; rpm += 500) {
        Point d = dial_direction(rpm);
        bool major = rpm % 1000 == 0;
        double inner = (major ? hud.major_inner : hud.minor_inner) * r, outer = hud.tick_outer * r;
        stroke_line(&canvas, {c.x + d.x * inner, c.y + d.y * inner}, {c.x + d.x * outer, c.y + d.y * outer},
                    major ? hud.major_width : hud.minor_width, solid(hud.tick));
    }
    TextStyle numeral{hud.numeral_size * r};
    for (int rpm = 0; rpm <= hud.dial_rpm; rpm += 2000) {
        Point d = dial_direction(rpm);
        Point at{c.x + d.x * hud.numeral_radius * r, c.y + d.y * hud.numeral_radius * r};
        paint_mask(&canvas, centred_text(face, std::to_string(rpm / 1000), numeral, at), 0, 0, solid(hud.tick));
    }
    paint_mask(&canvas, centred_text(face, "x1000 rpm", {hud.label_size * r}, {c.x, c.y + hud.label_y * r}), 0, 0,
               solid(hud.label));
    bleed_edges(&canvas, 4);
    return canvas_picture(canvas, 4);
}

Picture shifter(Face* face)
{
    const int s = hud.shifter_size;
    const double cell = s / 3.0;
    Canvas canvas = make_canvas(s, s, with_alpha(hud.badge_bottom, 0));
    for (int gear = 0; gear < hud.gears; gear++) {
        // The HUD picks column gear mod 3 and row gear div 3.
        Point c{(gear % 3 + 0.5) * cell, (gear / 3 + 0.5) * cell};
        double radius = hud.badge_radius * cell;
        fill_circle(&canvas, c, radius, linear_gradient({c.x, c.y - radius}, hud.badge_top, {c.x, c.y + radius},
                                                        hud.badge_bottom));
        fill_ring(&canvas, c, radius - hud.rim_width * cell, radius, solid(hud.rim));
        Mask digit = centred_text(face, std::to_string(gear + 1), {hud.digit_size * cell}, c);
        paint_mask(&canvas, blur(digit, hud.shadow_blur), hud.shadow_dx, hud.shadow_dy, solid(hud.digit_shadow));
        paint_mask(&canvas, digit, 0, 0, solid(hud.digit));
    }
    bleed_edges(&canvas, 4);
    return canvas_picture(canvas, 4);
}

Picture pitboard()
{
    const int s = hud.pitboard_size;
    Canvas canvas = make_canvas(s, s, with_alpha(hud.frame, 0));
    Point top_left{hud.board_left * s, hud.board_top * s}, bottom_right{hud.board_right * s, hud.board_bottom * s};
    const double radius = hud.board_radius * s;
    // The crew's pole comes in from the left edge of the screen.
    Point p0{0, hud.pole_y0 * s}, p1{(hud.board_left + hud.pole_reach) * s, hud.pole_y1 * s};
    const double pole = hud.pole_width * s;
    stroke_line(&canvas, {p0.x - pole, p0.y}, p1, pole, solid(hud.pole));
    stroke_line(&canvas, {p0.x - pole, p0.y - pole * hud.shine_offset}, {p1.x, p1.y - pole * hud.shine_offset},
                pole * hud.shine_width, solid(hud.pole_shine));
    Point shadow_tl{top_left.x + hud.shadow_x * s, top_left.y + hud.shadow_y * s};
    Point shadow_br{bottom_right.x + hud.shadow_x * s, bottom_right.y + hud.shadow_y * s};
    Point shadow_centre{(shadow_tl.x + shadow_br.x) / 2, (shadow_tl.y + shadow_br.y) / 2};
    Point shadow_half{(shadow_br.x - shadow_tl.x) / 2, (shadow_br.y - shadow_tl.y) / 2};
    paint(&canvas, {0, 0, s, s}, soften([&](double x, double y) {
        return rounded_box_distance({x, y}, shadow_centre, shadow_half, radius);
    }, hud.shadow_soft), solid(hud.shadow));
    fill_rounded_box(&canvas, top_left, bottom_right, radius, solid(hud.frame));
    const double inset = hud.frame_width * s;
    Point inner_tl{top_left.x + inset, top_left.y + inset}, inner_br{bottom_right.x - inset, bottom_right.y - inset};
    fill_rounded_box(&canvas, inner_tl, inner_br, radius - inset, [&](double x, double y) {
        // Faint scuffs, so the board reads as a painted sheet.
        double n = fractal_noise(x / hud.scuff_pixels, y / hud.scuff_pixels, hud.scuff_seed, 4);
        return mix(hud.board, hud.scuff, (n - 0.5) * hud.scuff_strength);
    });
    Point centre{(inner_tl.x + inner_br.x) / 2, (inner_tl.y + inner_br.y) / 2};
    Point half{(inner_br.x - inner_tl.x) / 2, (inner_br.y - inner_tl.y) / 2};
    const double header_y = hud.header_bottom * s;
    paint(&canvas, {0, 0, s, s}, [&](double x, double y) {
        double board = rounded_box_distance({x, y}, centre, half, radius - inset);
        double below = y - header_y;
        return board > below ? board : below;
    }, solid(hud.header));
    const double bolt_inset = hud.bolt_inset * s;
    for (Point bolt : {Point{inner_tl.x + bolt_inset, inner_tl.y + bolt_inset},
                       Point{inner_br.x - bolt_inset, inner_tl.y + bolt_inset},
                       Point{inner_tl.x + bolt_inset, inner_br.y - bolt_inset},
                       Point{inner_br.x - bolt_inset, inner_br.y - bolt_inset}}) {
        fill_circle(&canvas, bolt, hud.bolt_radius * s, solid(hud.bolt));
        fill_circle(&canvas, {bolt.x - 1, bolt.y - 1}, hud.bolt_radius * s * hud.bolt_shine, solid(hud.pole_shine));
    }
    bleed_edges(&canvas, 4);
    return canvas_picture(canvas, 4);
}

} // namespace

void add_hud_pictures(Release* release)
{
    Face* face = require_face(hud.face);
    add_member(release, interface_archive, "tach.png", encode_png(tachometer(face)));
    add_member(release, interface_archive, "shifter.png", encode_png(shifter(face)));
    add_member(release, interface_archive, "pitboard.png", encode_png(pitboard()));
    close_face(face);
}
