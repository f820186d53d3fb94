#include "bike/bike_model.h"

#include "base/message_log.h"

#include <array>
#include <cstring>

namespace {

constexpr float shared_pose_points[pose_point_count][3] = {
    {-1.456f, 0.875f, 0.01f}, {1.456f, 0.875f, 0.01f},  {-0.556f, 0.875f, 0.01f},
    {0.556f, 0.875f, 0.01f},  {-0.269f, -2.208f, 0.01f}, {0.269f, -2.208f, 0.01f},
    {-0.269f, -0.88f, 0.01f}, {0.269f, -0.88f, 0.01f},  {0.0f, -0.88f, 0.01f},
};

// What every bike shares; the per-class and per-bike fields are filled in
// from the tables below.
constexpr BikeModel common_model = {
    .front_wheel = {{0, 1.09f, 1.11f}, 5.0f / 6, 1.0f / 3, 13.0f / 32, 0.5f, 5.0f / 32},
    .rear_wheel = {{0, 1.04f, 6}, 0.75f, 1.0f / 3, 15.0f / 32, 0.5f, 5.0f / 16},
    .frame_position = {0, 1.98f, 3.6f},
    .frame_size = {5.0f / 6, 5.0f / 3, 5.0f / 3},
    .steering_head = {0, 2.9f, 2.16f},
    .swingarm_position = {0, 1.34f, 4.99f},
    .swingarm_pivot = {0, 1.58f, 4.17f},
    .fork_lower_position = {0, 1.77f, 1.59f},
    .fork_leg_spacing = 5.0f / 6,
    .fork_leg_length = 3,
    .fork_spring_rate = {510.6964f, 698.8477f},
    .fork_preload = {0, 1.0f / 12},
    .fork_air_gap = {5.0f / 12, 0.25f},
    .fork_compression_damping = 60,
    .fork_rebound_damping = 30,
    .fork_travel = 1,
    .shock_spring_rate = {2217.4976f, 4031.814f},
    .shock_preload = {0, 0.0275f},
    .shock_compression_damping = 800,
    .shock_rebound_damping = 600,
    .swingarm_travel = 0.55f,
    .shock_ratio = {8.0f / 13, 8.0f / 13},
    .engine_inertia = 5.0f / 1024,
    .rider_slide_axis = {0, 1.0f / 12, 1.0f / 12},
    .rider_position = {0, 4.5f, 4.12f},
    .rider_slide_min = -2.0f / 3,
    .rider_slide_max = 0.5f,
    .rider_mass = 4.6875f,
    .frame_shape = "@generic_frame.shp",
    .fork_upper_shape = "@generic_fork_upper.shp",
    .fork_lower_shape = "@generic_fork_lower.shp",
    .swingarm_shape = "@generic_swingarm.shp",
    .front_wheel_model = "@front_wheel.km",
    .front_wheel_shape = "@front_wheel.shp",
    .rear_wheel_model = "@rear_wheel.km",
    .rear_wheel_shape = "@rear_wheel.shp",
    .wheel_texture = "@wheels.png",
    .rider_head_model = "@rider_head.km",
    .rider_head_texture = "@rider_head.png",
    .rider_body_model = "@rider_body.km",
    .rider_body_fp_model = "@rider_body_fp.km",
    .rider_shape = "@generic_rider.shp",
    .rider_body_texture = "@rider_body.png",
    .rider_plate_model = "@rider_plate.km",
    .head_point = {0, 0.808383f, -0.9433694f},
    .left_shoulder = {-0.556f, 0.5803751f, -0.6545141f},
    .right_shoulder = {0.556f, 0.5803751f, -0.6545141f},
    .left_hip = {-0.269f, -0.5708867f, 0.6706067f},
    .right_hip = {0.269f, -0.5708867f, 0.6706067f},
    .left_grip = {-1.097f, 1.145f, 0.753f},
    .right_grip = {1.097f, 1.145f, 0.753f},
    .left_peg = {-0.6f, -0.557f, 0.584f},
    .right_peg = {0.6f, -0.557f, 0.584f},
    .upper_arm_length = 0.9f,
    .forearm_length = 1.15f,
    .thigh_length = 1.328f,
    .shin_length = 1.701f,
    .pose_points = shared_pose_points,
};

// Four-stroke 250s and two-stroke 125s.
struct BikeClass {
    float frame_mass;
    float fork_mass;
    float swingarm_arm_mass;
    float shift_down_rpm;
    float shift_up_rpm;
    int32_t two_stroke;
    float closed_throttle_torque[torque_map_points];
};

constexpr BikeClass four_stroke_250 = {
    4.24f, 0.703125f, 0.504375f, 8000, 12500, 0,
    {
        2,   1,   0,   0,   -1,  -1,  -2,  -2,  -3,  -3,  //  0 ..  9
        -4,  -4,  -5,  -5,  -6,  -6,  -7,  -7,  -8,  -8,  // 10 .. 19
        -9,  -9,  -10, -10, -11, -11, -12, -12, -13, -13, // 20 .. 29
        -14, -14, -15, -15, -16, -16, -17, -17, -18, -18, // 30 .. 39
        -19, -19, -20, -20, -21, -21, -22, -22, -23, -23, // 40 .. 49
    },
};

constexpr BikeClass two_stroke_125 = {
    3.65375f, 0.7396875f, 0.541875f, 9400, 12000, 1,
    {
        2,      1,     0,      0,  -1,     -1.2f,  -1.4f, -1.6f, -1.8f, -2, //  0 ..  9
        -2.25f, -2.5f, -2.75f, -3, -3.33f, -3.67f, -4,    -5,    -6,    -7, // 10 .. 19
        -8,     -9,    -10,    -10, -11,    -11,    -12,   -12,   -13,   -13, // 20 .. 29
        -14,    -14,   -15,    -15, -16,    -16,    -17,   -17,   -18,   -18, // 30 .. 39
        -19,    -19,   -20,    -20, -21,    -21,    -22,   -22,   -23,   -23, // 40 .. 49
    },
};

// Open-throttle torque shared by every bike: entries 0 .. 4 and 29 .. 49.
constexpr float open_torque_low = 5;
constexpr int open_torque_first = 5; // first per-bike entry
constexpr int open_torque_own = 24;  // per-bike entries 5 .. 28
constexpr float open_torque_tail[torque_map_points - open_torque_first - open_torque_own] = {
    -1, -2, -2, -3, -3, -4, -4, -5, -5, -6, -6, // 29 .. 39
    -7, -7, -8, -8, -9, -9, -10, -10, -11, -11, // 40 .. 49
};

struct Gearing {
    float primary_ratio;
    float front_sprocket;
    float rear_sprocket;
    float gear_ratio[gear_count];
};

constexpr Gearing dl250_gearing = {3.16667f, 13, 51, {2.14286f, 1.75f, 1.45f, 1.22727f, 1.04167f, -1}};
constexpr Gearing dk250f_gearing = {3.35f, 13, 48, {2.14286f, 1.78571f, 1.44444f, 1.2f, 1.05263f, -1}};
constexpr Gearing dz250_gearing = {3.21053f, 13, 48, {2.15385f, 1.76471f, 1.47059f, 1.2381f, 1.09091f, -1}};
constexpr Gearing dy250f_gearing = {3.35294f, 13, 48, {2.14286f, 1.75f, 1.45f, 1.22727f, 1.04167f, -1}};
constexpr Gearing dl125_gearing = {3.15f, 13, 52, {2.35714f, 1.86667f, 1.57895f, 1.29412f, 1.13333f, -1}};
constexpr Gearing dk125_gearing = {3.2f, 13, 51, {2.38462f, 1.85714f, 1.52941f, 1.29412f, 1.125f, 1}};
constexpr Gearing dz125_gearing = {3.36842f, 12, 50, {2.07143f, 1.6875f, 1.44444f, 1.2f, 1.05263f, 0.95f}};
constexpr Gearing dy125_gearing = {3.36842f, 13, 48, {2.38462f, 1.93333f, 1.58824f, 1.35294f, 1.2f, 1.09524f}};
constexpr Gearing dx125_gearing = {3.04348f, 13, 50, {2.46154f, 2, 1.64706f, 1.4f, 1.21053f, 1.09091f}};

// The models and texture of a family: prefix P in the six model names,
// texture name T in the bike texture.
struct FamilyFiles {
    const char* frame_model;
    const char* fork_upper_model;
    const char* fork_lower_model;
    const char* swingarm_model;
    const char* side_plates_model;
    const char* front_plate_model;
    const char* bike_texture;
};

#define FAMILY_FILES(P, T)                                                                                   \
    {"@" P "_frame.km", "@" P "_fork_upper.km", "@" P "_fork_lower.km", "@" P "_swingarm.km",                \
     "@" P "_side_plates.km", "@" P "_front_plate.km", "@" T ".png"}

struct BikeRow {
    const char* name;
    const BikeClass* kind;
    float max_rpm;
    FamilyFiles files;
    const Gearing* gearing;
    float open_torque[open_torque_own]; // entries 5 .. 28
};

// Table order decides the fallback of bike_model_for.
constexpr BikeRow bike_rows[bike_model_total] = {
    {"dl250(2009)", &four_stroke_250, 13250, FAMILY_FILES("dl250", "dl250"), &dl250_gearing,
     {6.4f, 7.9f, 9.4f, 10.8f, 12.3f, 13.8f, 15.3f, 16.3f, 17.76f, 19.1f, 19.9f, 20.27f,
      20.39f, 20.23f, 19.99f, 19.21f, 18.69f, 18.23f, 17.21f, 16.61f, 15.92f, 15.21f, 13.97f, 0}},
    {"dk250f(2009)", &four_stroke_250, 13250, FAMILY_FILES("dk250f", "dk250f"), &dk250f_gearing,
     {6.5f, 8.1f, 9.7f, 11.3f, 12.9f, 14.54f, 13.72f, 16.03f, 17.62f, 18.9f, 19.62f, 19.79f,
      19.55f, 19.28f, 18.89f, 18.52f, 18.04f, 17.24f, 16.68f, 16.16f, 15.49f, 14.61f, 13.58f, 0}},
    {"dz250(2009)", &four_stroke_250, 13250, FAMILY_FILES("dz250", "dz250"), &dz250_gearing,
     {6.4f, 7.9f, 9.3f, 10.8f, 12.2f, 13.75f, 13.68f, 16.18f, 17.42f, 18.45f, 19.49f, 20.15f,
      20.24f, 19.8f, 19.18f, 18.55f, 17.97f, 17.42f, 16.85f, 15.97f, 15.27f, 14.45f, 13.23f, 0}},
    {"dy250f(2009)", &four_stroke_250, 13250, FAMILY_FILES("dy250f", "dy250f"), &dy250f_gearing,
     {6.4f, 7.9f, 9.4f, 10.8f, 12.3f, 13.83f, 15.13f, 16.52f, 18.15f, 19.3f, 19.83f, 20,
      20.07f, 19.92f, 19.61f, 19.2f, 18.72f, 18.06f, 17.17f, 16.99f, 16.31f, 15.48f, 14.44f, 0}},
    {"dl250(2008)", &four_stroke_250, 13250, FAMILY_FILES("dl250", "dl250"), &dl250_gearing,
     {6.2f, 7.5f, 8.7f, 10, 11.2f, 12.5f, 14.3f, 14.2f, 15.2f, 16.4f, 17.9f, 18.5f,
      18.8f, 19, 19.1f, 18.3f, 17.9f, 17.4f, 16.7f, 15.6f, 14.8f, 13.9f, 0, -1}},
    {"dk250f(2008)", &four_stroke_250, 13250, FAMILY_FILES("dk250f", "dk250f"), &dk250f_gearing,
     {6.3f, 7.7f, 9.1f, 10.4f, 11.8f, 13.2f, 13.8f, 14.8f, 16.1f, 17.4f, 18.5f, 18.8f,
      19, 18.8f, 18.7f, 18.3f, 17.9f, 17, 16.3f, 15.1f, 14.3f, 13.2f, 0, -1}},
    {"dz250(2008)", &four_stroke_250, 13250, FAMILY_FILES("dz250", "dz250"), &dz250_gearing,
     {6.3f, 7.7f, 9, 10.4f, 11.7f, 13.1f, 14.8f, 15.2f, 16.3f, 17.2f, 18.4f, 19,
      19.3f, 18.9f, 18.4f, 17.9f, 17.4f, 16.6f, 16.2f, 15.5f, 14.7f, 14, 0, -1}},
    {"dy250f(2008)", &four_stroke_250, 13250, FAMILY_FILES("dy250f", "dy250f"), &dy250f_gearing,
     {6.1f, 7.3f, 8.5f, 9.6f, 10.8f, 12, 12.7f, 13.7f, 15.4f, 17.5f, 18.6f, 18.9f,
      19, 18.9f, 18.3f, 18.1f, 17.7f, 16.8f, 15.8f, 14.9f, 14, 13, 0, -1}},
    {"dl125", &two_stroke_125, 12750, FAMILY_FILES("dl125", "dl125"), &dl125_gearing,
     {5.7f, 6.4f, 7.2f, 7.9f, 8.6f, 9.4538f, 10.2177f, 10.3292f, 10.6658f, 11.4046f, 12.465f, 13.2616f,
      14.1498f, 14.7643f, 15.8116f, 15.9664f, 15.9064f, 15.7563f, 15.117f, 12.7364f, 2.10085f, 0, 0, -1}},
    {"dk125", &two_stroke_125, 12750, FAMILY_FILES("dk125", "dk125"), &dk125_gearing,
     {5.8f, 6.7f, 7.6f, 8.4f, 9.3f, 10.1891f, 10.0268f, 10.1541f, 11.3122f, 12.0048f, 12.325f, 13.0646f,
      14.6441f, 15.8731f, 16.8068f, 16.5967f, 16.4566f, 16.1861f, 14.2492f, 10.2416f, 5.50421f, 0, 0, -1}},
    {"dz125", &two_stroke_125, 13750, FAMILY_FILES("dz125", "dz125"), &dz125_gearing,
     {5.6f, 6.3f, 7, 7.6f, 8.3f, 9.03364f, 10.1223f, 9.80394f, 9.69621f, 11.2545f, 11.9048f, 12.1455f,
      13.2848f, 14.5308f, 15.2035f, 16.229f, 16.5066f, 16.4725f, 16.4414f, 15.3187f, 12.6051f, 10.5042f,
      4.2795f, -1}},
    {"dy125", &two_stroke_125, 12750, FAMILY_FILES("dy125", "dy125"), &dy125_gearing,
     {6, 7.1f, 8.2f, 9.3f, 10.4f, 11.5546f, 10.7907f, 10.5042f, 12.1203f, 13.1303f, 13.6555f, 13.7868f,
      14.2734f, 14.881f, 15.3693f, 15.8614f, 15.7063f, 15.6608f, 15.1626f, 13.6555f, 5.04203f, 0, 0, -1}},
    {"125dx", &two_stroke_125, 12750, FAMILY_FILES("125dx", "125dx"), &dx125_gearing,
     {5.3f, 5.7f, 6.1f, 6.5f, 6.9f, 7.3f, 7.7f, 8.14077f, 10.585f, 11.6297f, 13.0953f, 14.1151f,
      15.0149f, 15.4646f, 16.3092f, 17.0168f, 17.407f, 16.8545f, 15.6193f, 13.2616f, 10.5042f, 0, 0, -1}},
    {"dl250(2007)", &four_stroke_250, 13250, FAMILY_FILES("dl250", "dl250"), &dl250_gearing,
     {6.3f, 7.7f, 9.1f, 10.5f, 11.8f, 13.2f, 14.6f, 16, 16.8f, 17.6f, 18.6f, 19,
      19, 19, 18.5f, 18, 17.5f, 16.9f, 16.1f, 15.4f, 14.7f, 13.6f, 0, -1}},
    {"dk250f(2007)", &four_stroke_250, 13250, FAMILY_FILES("dk250f", "dk250f"), &dk250f_gearing,
     {6.2f, 7.5f, 8.8f, 10.1f, 11.3f, 12.6f, 13.9f, 15.2f, 16.8f, 18.4f, 19.3f, 19.6f,
      19.5f, 19.4f, 19.2f, 18.6f, 17.7f, 17.1f, 16.1f, 15.2f, 14.1f, 13.4f, 0, -1}},
    {"dz250(2007)", &four_stroke_250, 13250, FAMILY_FILES("dz250", "dz250"), &dz250_gearing,
     {6.5f, 8, 9.5f, 11, 12.5f, 14, 15.6f, 16.2f, 17.3f, 18, 19, 19.9f,
      19.9f, 19.5f, 18.7f, 18.2f, 17.5f, 17, 16.3f, 15.6f, 14.7f, 14, 0, -1}},
    {"dy250f(2007)", &four_stroke_250, 13250, FAMILY_FILES("dy250f", "dy250f"), &dy250f_gearing,
     {6, 7, 8, 9, 10, 11, 12, 13, 15, 17.4f, 18.2f, 18.3f,
      18.3f, 17.7f, 17.6f, 17.2f, 16.7f, 16.1f, 15.3f, 14.5f, 13.4f, 12.7f, 0, -1}},
    {"dy250f_se(2006)", &four_stroke_250, 13250, FAMILY_FILES("dy250f", "dy250f_se"), &dy250f_gearing,
     {6, 7, 8, 9, 10, 11, 12, 13, 15, 17.4f, 18.2f, 18.3f,
      18.3f, 17.7f, 17.6f, 17.2f, 16.7f, 16.1f, 15.3f, 14.5f, 13.4f, 12.7f, 0, -1}},
};

#undef FAMILY_FILES

constexpr BikeModel build_model(const BikeRow& row)
{
    BikeModel m = common_model;
    const BikeClass& kind = *row.kind;
    m.name = row.name;
    m.frame_mass = kind.frame_mass;
    m.fork_mass = kind.fork_mass;
    m.swingarm_arm_mass = kind.swingarm_arm_mass;
    m.shift_down_rpm = kind.shift_down_rpm;
    m.shift_up_rpm = kind.shift_up_rpm;
    m.two_stroke = kind.two_stroke;
    m.max_rpm = row.max_rpm;
    m.primary_ratio = row.gearing->primary_ratio;
    m.front_sprocket = row.gearing->front_sprocket;
    m.rear_sprocket = row.gearing->rear_sprocket;
    for (int g = 0; g < gear_count; g++)
        m.gear_ratio[g] = row.gearing->gear_ratio[g];
    for (int i = 0; i < torque_map_points; i++) {
        m.closed_throttle_torque[i] = kind.closed_throttle_torque[i];
        if (i < open_torque_first)
            m.open_throttle_torque[i] = open_torque_low;
        else if (i < open_torque_first + open_torque_own)
            m.open_throttle_torque[i] = row.open_torque[i - open_torque_first];
        else
            m.open_throttle_torque[i] = open_torque_tail[i - open_torque_first - open_torque_own];
    }
    m.frame_model = row.files.frame_model;
    m.fork_upper_model = row.files.fork_upper_model;
    m.fork_lower_model = row.files.fork_lower_model;
    m.swingarm_model = row.files.swingarm_model;
    m.side_plates_model = row.files.side_plates_model;
    m.front_plate_model = row.files.front_plate_model;
    m.bike_texture = row.files.bike_texture;
    return m;
}

constexpr auto bike_models = [] {
    std::array<BikeModel, bike_model_total> models{};
    for (int i = 0; i < bike_model_total; i++)
        models[i] = build_model(bike_rows[i]);
    return models;
}();

float clamp01(float t)
{
    return t > 0 ? (t < 1 ? t : 1) : 0; // NaN lands on 0
}

float pair_value(const float pair[2], float adjustment)
{
    float t = clamp01(adjustment);
    return pair[0] + t * (pair[1] - pair[0]);
}

} // namespace

const BikeModel* find_bike_model(const char* name)
{
    if (!name)
        return nullptr;
    for (const BikeModel& model : bike_models)
        if (strcmp(model.name, name) == 0)
            return &model;
    return nullptr;
}

const BikeModel* bike_model_for(const char* name)
{
    if (!name)
        name = "";
    const BikeModel* match = nullptr;
    for (const BikeModel& model : bike_models)
        if (strcmp(model.name, name) == 0)
            match = &model;
    if (match)
        return match;
    const char* pattern = strstr(name, "125") ? "125" : "250f";
    const BikeModel* substitute = &bike_models[0];
    for (const BikeModel& model : bike_models)
        if (strstr(model.name, pattern)) {
            substitute = &model;
            break;
        }
    post_messagef("bike info for '%.20s' not found using '%.20s' instead", name, substitute->name);
    return substitute;
}

int bike_model_count()
{
    return bike_model_total;
}

const BikeModel* bike_model_at(int index)
{
    if (index < 0 || index >= bike_model_total)
        return nullptr;
    return &bike_models[index];
}

float display_fork_spring_rate(const BikeModel* model, float adjustment)
{
    return pair_value(model->fork_spring_rate, adjustment) * 0.0007440820f;
}

float display_shock_spring_rate(const BikeModel* model, float adjustment)
{
    return pair_value(model->shock_spring_rate, adjustment) * 0.0014881639f;
}

float display_fork_preload(const BikeModel* model, float adjustment)
{
    return pair_value(model->fork_preload, adjustment) * 304.8f;
}

float display_fork_air_gap(const BikeModel* model, float adjustment)
{
    return pair_value(model->fork_air_gap, adjustment) * 304.8f;
}

float display_shock_preload(const BikeModel* model, float adjustment)
{
    return pair_value(model->shock_preload, adjustment) * 304.8f;
}
