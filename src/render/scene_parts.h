// The pieces of the scene drawing, shared by its files.
#pragma once
#include "render/scene.h"

#include <cstdint>

struct PartTexture;

// Texture units 0-2 (diffuse, normal map, specular map) with the last name
// bound on each, so that repeated binds cost nothing; every real bind is a
// frame statistic. Other drawing code binds behind its back, so each pass
// forgets what it knew first.
void forget_bound_textures();
void bind_texture_unit(int unit, uint32_t texture);
// Binds a part's three textures and selects the lit program that fits them.
void bind_part(const PartTexture& part);
// The program slots.
enum { program_fixed = 0, program_lit = 1, program_env = 2, program_norm_lit = 3, program_norm_env = 4,
       program_norm_spec_lit = 5 };
bool shaders_in_use();

// The riders of every slot (the opaque ones, or the translucent ghosts).
void draw_riders(const SceneContent& content, int32_t first_person_slot, bool translucent_ghosts);
void draw_statues();
void draw_billboards();
