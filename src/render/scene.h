// The world drawn from a camera: projection, sky, fog, the ground, the bikes
// and riders, the track's objects, the billboards and the lens flares; and
// the cameras that look at it.
#pragma once
#include <cstdint>

#include <ode/ode.h>

struct Bike;
struct FlaggerState;
struct Terrain;

enum { scene_rider_slots = 40 };

struct SceneView {
    float view_tan_x, view_tan_y; // tangents of the half angles of view
    float eye_position[3];
    float eye_rotation[9]; // row-major; columns: the camera's right, up and backward axes
    float eye_velocity[3]; // of the followed body; 0 for the look-at camera
};
extern SceneView scene_view;

// One rider slot as the drawing sees it.
struct SceneRider {
    const Bike* bike; // null: empty slot
    bool ghost;       // a replay ghost: fades out near the viewed rider
    bool stale;       // a remote rider whose news is a second old: not drawn
};

// What the caller hands the drawing each frame.
struct SceneContent {
    Terrain* terrain;
    SceneRider riders[scene_rider_slots];
    int32_t viewed_slot; // the followed rider, whom the ghosts fade near; -1 for none
    int32_t frame;       // the race frame: animations and boards
    const FlaggerState* flaggers; // null leaves the boards as they are
};

// Viewport and projection: `fov` degrees is the horizontal angle of a 4:3
// picture; wider windows see more at the sides.
void set_projection(int32_t width, int32_t height, float fov);
// The rotation of a camera at eye looking at target without roll.
void look_at_rotation(const float eye[3], const float target[3], float rotation[9]);
// The on-bike camera: the eye between two points of the body by height
// (0..1), the body's rotation tilted by angle degrees about its x axis.
void on_bike_camera(dBodyID body, float height, float angle, float eye[3], float rotation[9]);

// Draws the world as seen from eye with that rotation into a window of the
// given size. The rider of first_person_slot (-1: none) is the one the eye
// rides with: his head is left out, and his body too with `hide_rider`.
void draw_scene(const SceneContent& content, const float eye[3], const float rotation[9], int32_t width,
                int32_t height, int32_t first_person_slot = -1);
// draw_scene from eye towards target.
void draw_look_at(const SceneContent& content, const float eye[3], const float target[3], int32_t width,
                  int32_t height);
// draw_scene from the on-bike camera of body, which moves with it; slot is
// the rider it belongs to.
void draw_from_body(const SceneContent& content, dBodyID body, int32_t slot, int32_t width, int32_t height);

// How much of a ghost shows at that distance from the viewed rider: none
// within half the fade distance, all of it beyond the whole.
float ghost_fade(float distance, float fade_distance);

// Billboards in drawing order: those in front of the eye, far to near, with
// equal pictures brought together where nothing between overlaps. order
// needs room for two entries per billboard; returns how many are drawn.
int32_t order_billboards(const float eye[3], const float backward[3], int32_t lookahead, int32_t* order);

// The lens flares of the lighting, over the finished picture.
void draw_lens_flares(const float eye[3], const float rotation[9], int32_t width, int32_t height);
