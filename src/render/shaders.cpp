// The GLSL of the five programs. They read the fixed-function state (light
// 0, the front material, the light model, fog), so drawing code sets up GL
// the same way whether shaders are on or off. GLSL 1.20 keeps them within
// what the compatibility profiles of older drivers accept.
#include "render/gl_caps.h"

namespace {

// Lit programs: light 0 is a directional light; everything is in eye space.
#define LIT_VARYINGS                                                                                                   \
    "varying vec3 normal;\n"                                                                                           \
    "varying vec3 light;\n"                                                                                            \
    "varying vec3 viewer;\n"                                                                                           \
    "varying vec4 diffuse;\n"                                                                                          \
    "varying vec4 ambient;\n"

#define LIT_VERTEX_BODY                                                                                                \
    "    normal = normalize(gl_NormalMatrix * gl_Normal);\n"                                                           \
    "    light = normalize(vec3(gl_LightSource[0].position));\n"                                                       \
    "    vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"                                                                 \
    "    viewer = eye.xyz / eye.w;\n"                                                                                  \
    "    diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"                                           \
    "    ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient\n"                                             \
    "            + gl_LightModel.ambient * gl_FrontMaterial.ambient;\n"                                                \
    "    ambient.a = min(ambient.a, 1.0);\n"                                                                           \
    "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"                                                                        \
    "    gl_Position = ftransform();\n"

// Tangents come in texture coordinate set 1 (the models' per-vertex tangents).
#define TANGENT_VERTEX "    tangent = normalize(gl_NormalMatrix * gl_MultiTexCoord1.xyz);\n"

// Bends n by the normal map in the tangent frame around it.
#define BEND_NORMAL                                                                                                    \
    "    vec3 bump = 2.0 * texture2D(nmap, gl_TexCoord[0].st).rgb - 1.0;\n"                                            \
    "    vec3 t = normalize(tangent - n * dot(n, tangent));\n"                                                         \
    "    vec3 b = cross(n, t);\n"                                                                                      \
    "    n = normalize(t * bump.x + b * bump.y + n * bump.z);\n"

#define LIT_SHADING                                                                                                    \
    "    float ndl = dot(n, light);\n"                                                                                 \
    "    float rdl = max(dot(reflect(normalize(viewer), n), light), 0.0);\n"                                           \
    "    if (ndl < 0.0) {\n"                                                                                           \
    "        ndl = 0.0;\n"                                                                                             \
    "        rdl = 0.0;\n"                                                                                             \
    "    }\n"                                                                                                          \
    "    vec4 colour = ambient;\n"                                                                                     \
    "    colour.rgb += diffuse.rgb * ndl;\n"                                                                           \
    "    colour *= texture2D(tex, gl_TexCoord[0].st);\n"

// pow(0, e) is undefined in GLSL (NaN on some drivers), and GL's default
// shininess is 0, so a zero base gives no highlight outright.
#define HIGHLIGHT_FUNCTION                                                                                             \
    "float highlight(float rdl, float e)\n"                                                                            \
    "{\n"                                                                                                              \
    "    return rdl > 0.0 ? pow(rdl, e) : 0.0;\n"                                                                      \
    "}\n"

// exp2(-log2(e) density z) is exp(-density z): GL's exponential fog.
#define FOG                                                                                                            \
    "    float z = gl_FragCoord.z / gl_FragCoord.w;\n"                                                                 \
    "    float f = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);\n"                                 \
    "    colour.rgb = mix(gl_Fog.color.rgb, colour.rgb, f);\n"                                                         \
    "    gl_FragColor = colour;\n"

#define MATERIAL_HIGHLIGHT                                                                                             \
    "    colour.rgb += gl_FrontMaterial.specular.rgb * gl_LightSource[0].specular.rgb\n"                               \
    "                * highlight(rdl, gl_FrontMaterial.shininess);\n"

const char lit_vertex[] = "#version 120\n" LIT_VARYINGS
                          "void main()\n"
                          "{\n" LIT_VERTEX_BODY "}\n";

const char lit_fragment[] = "#version 120\n" LIT_VARYINGS "uniform sampler2D tex;\n" HIGHLIGHT_FUNCTION
                            "void main()\n"
                            "{\n"
                            "    vec3 n = normalize(normal);\n" LIT_SHADING MATERIAL_HIGHLIGHT FOG "}\n";

const char norm_lit_vertex[] = "#version 120\n" LIT_VARYINGS "varying vec3 tangent;\n"
                               "void main()\n"
                               "{\n" LIT_VERTEX_BODY TANGENT_VERTEX "}\n";

const char norm_lit_fragment[] = "#version 120\n" LIT_VARYINGS "varying vec3 tangent;\n"
                                 "uniform sampler2D tex;\n"
                                 "uniform sampler2D nmap;\n" HIGHLIGHT_FUNCTION "void main()\n"
                                 "{\n"
                                 "    vec3 n = normalize(normal);\n" BEND_NORMAL LIT_SHADING MATERIAL_HIGHLIGHT FOG "}\n";

// The specular map's alpha picks the exponent; a full alpha hands it back to
// the material.
const char norm_spec_lit_fragment[] =
    "#version 120\n" LIT_VARYINGS "varying vec3 tangent;\n"
    "uniform sampler2D tex;\n"
    "uniform sampler2D nmap;\n"
    "uniform sampler2D smap;\n" HIGHLIGHT_FUNCTION "void main()\n"
    "{\n"
    "    vec3 n = normalize(normal);\n" BEND_NORMAL LIT_SHADING
    "    vec4 s = texture2D(smap, gl_TexCoord[0].st);\n"
    "    float e = 128.0 * s.a + 0.125;\n"
    "    if (e >= 127.875)\n"
    "        e = gl_FrontMaterial.shininess;\n"
    "    colour.rgb += s.rgb * gl_LightSource[0].specular.rgb * highlight(rdl, e);\n" FOG "}\n";

// The angular map: the reflected direction's angle from +y is the distance
// from the picture's centre, its heading in x-z the direction. Straight up
// or down has no heading, and normalising the zero vector would give NaN;
// any heading does there (up is the centre, down the whole rim).
#define ENV_LOOKUP                                                                                                     \
    "    vec3 v = normalize(envmat * reflect(viewer, n));\n"                                                           \
    "    float across = length(v.xz);\n"                                                                               \
    "    vec2 heading = across > 0.0 ? v.xz / across : vec2(1.0, 0.0);\n"                                                   \
    "    vec2 at = heading * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535 + 0.5;\n"                               \
    "    gl_FragColor = texture2D(tex, at) * gl_Color;\n"

const char env_vertex[] = "#version 120\n"
                          "varying vec3 normal;\n"
                          "varying vec3 viewer;\n"
                          "void main()\n"
                          "{\n"
                          "    normal = normalize(gl_NormalMatrix * gl_Normal);\n"
                          "    vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
                          "    viewer = eye.xyz / eye.w;\n"
                          "    gl_FrontColor = gl_Color;\n"
                          "    gl_Position = ftransform();\n"
                          "}\n";

const char env_fragment[] = "#version 120\n"
                            "varying vec3 normal;\n"
                            "varying vec3 viewer;\n"
                            "uniform sampler2D tex;\n"
                            "uniform mat3 envmat;\n"
                            "void main()\n"
                            "{\n"
                            "    vec3 n = normalize(normal);\n" ENV_LOOKUP "}\n";

// Unlike "env", the viewer is not divided by w here.
const char norm_env_vertex[] = "#version 120\n"
                               "varying vec3 normal;\n"
                               "varying vec3 viewer;\n"
                               "varying vec3 tangent;\n"
                               "void main()\n"
                               "{\n"
                               "    normal = normalize(gl_NormalMatrix * gl_Normal);\n"
                               "    viewer = vec3(gl_ModelViewMatrix * gl_Vertex);\n" TANGENT_VERTEX
                               "    gl_FrontColor = gl_Color;\n"
                               "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
                               "    gl_Position = ftransform();\n"
                               "}\n";

const char norm_env_fragment[] = "#version 120\n"
                                 "varying vec3 normal;\n"
                                 "varying vec3 viewer;\n"
                                 "varying vec3 tangent;\n"
                                 "uniform sampler2D tex;\n"
                                 "uniform sampler2D nmap;\n"
                                 "uniform mat3 envmat;\n"
                                 "void main()\n"
                                 "{\n"
                                 "    vec3 n = normalize(normal);\n" BEND_NORMAL ENV_LOOKUP "}\n";

} // namespace

const ProgramSource program_sources[program_slot_count - 1] = {
    {"lit", lit_vertex, lit_fragment},
    {"env", env_vertex, env_fragment},
    {"norm_lit", norm_lit_vertex, norm_lit_fragment},
    {"norm_env", norm_env_vertex, norm_env_fragment},
    {"norm_spec_lit", norm_lit_vertex, norm_spec_lit_fragment},
};
