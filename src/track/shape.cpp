#include "track/shape.h"

#include "base/alloc.h"
#include "data/home.h"
#include "data/stream.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// More spheres than any part needs; a count beyond it is a damaged file, not
// a reason to allocate gigabytes.
const int32_t max_spheres = 100000;

struct ShapeCache {
    CollisionShape** items;
    int32_t count;
    int32_t capacity;
};

ShapeCache cache;

char* copy_name(const char* name)
{
    size_t length = strlen(name) + 1;
    char* copy = static_cast<char*>(alloc_or_die(length));
    memcpy(copy, name, length);
    return copy;
}

void free_shape(CollisionShape* shape)
{
    free(shape->name);
    free(shape->spheres);
    free(shape);
}

CollisionShape* read_shape(const char* name)
{
    DataStream* stream = data_open(name, "rb");
    if (!stream)
        return nullptr;
    int32_t count = 0;
    // The count must stand alone: a file that starts with a sphere record
    // instead would otherwise pass its first coordinate off as the count.
    bool counted = data_scan(stream, "%d", &count) == 1;
    int after = counted ? data_getc(stream) : -1;
    bool separated = after < 0 || after == ' ' || after == '\t' || after == '\n' || after == '\r';
    if (!counted || !separated || count < 0 || count > max_spheres) {
        data_close(stream);
        return nullptr;
    }
    auto* shape = static_cast<CollisionShape*>(alloc_or_die(sizeof(CollisionShape)));
    *shape = {};
    shape->name = copy_name(name);
    shape->sphere_count = count;
    shape->spheres = static_cast<CollisionSphere*>(alloc_or_die(size_t(count ? count : 1) * sizeof(CollisionSphere)));
    for (int32_t i = 0; i < count; i++) {
        CollisionSphere& s = shape->spheres[i];
        bool ok = data_scan(stream, "%f", &s.centre[0]) == 1 && data_scan(stream, "%f", &s.centre[1]) == 1 &&
                  data_scan(stream, "%f", &s.centre[2]) == 1 &&
                  data_scan(stream, "%f %f %f %f", &s.radius, &s.friction, &s.stiffness, &s.damping) == 4;
        if (!ok) {
            data_close(stream);
            free_shape(shape);
            return nullptr;
        }
        float reach =
            std::sqrt(s.centre[0] * s.centre[0] + s.centre[1] * s.centre[1] + s.centre[2] * s.centre[2]) + s.radius;
        if (reach > shape->bound)
            shape->bound = reach;
    }
    data_close(stream);
    return shape;
}

} // namespace

const CollisionShape* load_shape(const char* name)
{
    if (!name)
        return nullptr;
    for (int32_t i = 0; i < cache.count; i++)
        if (strcmp(cache.items[i]->name, name) == 0)
            return cache.items[i];
    CollisionShape* shape = read_shape(name);
    if (!shape)
        return nullptr;
    if (cache.count == cache.capacity) {
        int32_t capacity = cache.capacity ? cache.capacity * 2 : 16;
        size_t bytes = size_t(capacity) * sizeof *cache.items;
        cache.items = static_cast<CollisionShape**>(realloc_or_die(cache.items, bytes));
        cache.capacity = capacity;
    }
    cache.items[cache.count++] = shape;
    return shape;
}

CollisionShape* shape_instance(const char* name)
{
    const CollisionShape* loaded = load_shape(name);
    if (!loaded)
        return nullptr;
    auto* instance = static_cast<CollisionShape*>(alloc_or_die(sizeof(CollisionShape)));
    *instance = *loaded;
    instance->name = copy_name(loaded->name);
    size_t bytes = size_t(loaded->sphere_count ? loaded->sphere_count : 1) * sizeof(CollisionSphere);
    instance->spheres = static_cast<CollisionSphere*>(alloc_or_die(bytes));
    memcpy(instance->spheres, loaded->spheres, size_t(loaded->sphere_count) * sizeof(CollisionSphere));
    instance->source = loaded;
    return instance;
}

void free_shape_instance(CollisionShape* instance)
{
    // A cached shape outlives every track; freeing it here would leave the
    // cache pointing at freed memory.
    if (instance && instance->source)
        free_shape(instance);
}

void clear_shape_cache()
{
    for (int32_t i = 0; i < cache.count; i++)
        free_shape(cache.items[i]);
    free(cache.items);
    cache = {};
}
