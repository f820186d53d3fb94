// The robot riders: eighty numbered riders, each with a personality, a bike
// and the texture variants that make them look different on the track.
#pragma once

enum { robot_roster_size = 80 };

struct RobotRider {
    int number;
    const char* personality; // "birch", "alder", "cedar"
    const char* bike;        // a bike name, possibly an old alias
    int gear;                // riding-gear variant, 0 = default
    int helmet;
    int bike_graphics;
    int wheels;
    const char* graphics_model; // model whose bike graphics are used; null = the rider's own bike
};

extern const RobotRider robot_roster[robot_roster_size];

// The rider with that number, or null.
const RobotRider* find_robot(int number);

// Texture data names ("@rider_body-alt1.png" ...); empty text = the default.
struct RobotTextures {
    char rider_body[64];
    char rider_head[64];
    char bike[64];
    char wheels[64];
};
RobotTextures robot_textures(const RobotRider& rider);
