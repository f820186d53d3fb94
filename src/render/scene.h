// The world drawn from a camera: projection, view, and the ground.
#pragma once
#include <cstdint>

struct Terrain;

struct SceneView {
    float view_tan_x, view_tan_y; // tangents of the half angles of view
    float eye_position[3];
    float eye_rotation[9]; // row-major; columns: the camera's right, up and backward axes
};
extern SceneView scene_view;

// Viewport and projection: `fov` degrees is the horizontal angle of a 4:3
// picture; wider windows see more at the sides.
void set_projection(int32_t width, int32_t height, float fov);
// The rotation of a camera at eye looking at target without roll.
void look_at_rotation(const float eye[3], const float target[3], float rotation[9]);
// Draws the world as seen from eye with that rotation into a window of the
// given size.
void draw_scene(Terrain* terrain, const float eye[3], const float rotation[9], int32_t width, int32_t height,
                float fov);
// draw_scene from eye towards target.
void draw_look_at(Terrain* terrain, const float eye[3], const float target[3], int32_t width, int32_t height,
                  float fov);
