#include "support/fixture.h"
#include "track/shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

struct ShapeTest : ::testing::Test {
    TestHome home;
    void TearDown() override { clear_shape_cache(); }
    // The data name of a file written into the data folder.
    std::string write(const std::string& name, const std::string& text)
    {
        write_file(home.data(name), text);
        return "@" + name;
    }
};

TEST_F(ShapeTest, ReadsSpheresAndTheirBound)
{
    std::string name = write("rock.shp", "2\n"
                                         "0 3 4 1 0.8 2500 250\n"
                                         "-1 0 0\n0.5 0.3 800 80\n");
    const CollisionShape* shape = load_shape(name.c_str());
    ASSERT_NE(shape, nullptr);
    EXPECT_STREQ(shape->name, name.c_str());
    EXPECT_EQ(shape->source, nullptr);
    ASSERT_EQ(shape->sphere_count, 2);
    const CollisionSphere& s = shape->spheres[1];
    EXPECT_FLOAT_EQ(s.centre[0], -1);
    EXPECT_FLOAT_EQ(s.radius, 0.5f);
    EXPECT_FLOAT_EQ(s.friction, 0.3f);
    EXPECT_FLOAT_EQ(s.stiffness, 800);
    EXPECT_FLOAT_EQ(s.damping, 80);
    // |(0, 3, 4)| + 1 beats |(-1, 0, 0)| + 0.5.
    EXPECT_FLOAT_EQ(shape->bound, 6);
}

TEST_F(ShapeTest, MalformedFilesGiveNoShape)
{
    struct Case {
        const char* what;
        const char* text;
    } const cases[] = {
        {"count line missing", "0.25 0 0 1 1 1 1\n"},
        {"count line missing, whole-number start", "1.5 0 0 1 1 1 1\n2 0 0 1 1 1 1\n"},
        {"empty file", ""},
        {"fewer records than announced", "2\n0 0 0 1 1 1 1\n"},
        {"record cut short", "1\n0 0 0 1 1 1\n"},
        {"negative count", "-3\n"},
        {"absurd count", "2000000000\n0 0 0 1 1 1 1\n"},
    };
    int k = 0;
    for (const Case& c : cases) {
        std::string name = write("bad" + std::to_string(k++) + ".shp", c.text);
        EXPECT_EQ(load_shape(name.c_str()), nullptr) << c.what;
        EXPECT_EQ(shape_instance(name.c_str()), nullptr) << c.what;
    }
    EXPECT_EQ(load_shape("@missing.shp"), nullptr);
}

TEST_F(ShapeTest, ShapesAreCachedByExactName)
{
    std::string name = write("gate.shp", "1 0 0 0 1 1 1 1");
    const CollisionShape* first = load_shape(name.c_str());
    ASSERT_NE(first, nullptr);
    // The file changing on disk does not matter once it is cached.
    write("gate.shp", "1 0 0 0 9 1 1 1");
    EXPECT_EQ(load_shape(name.c_str()), first);
    // Enough different shapes to make the cache grow past its first room.
    for (int i = 0; i < 40; i++) {
        std::string other = write("s" + std::to_string(i) + ".shp", "1 0 0 0 " + std::to_string(i + 1) + " 1 1 1");
        const CollisionShape* shape = load_shape(other.c_str());
        ASSERT_NE(shape, nullptr);
        EXPECT_FLOAT_EQ(shape->bound, float(i + 1));
    }
    EXPECT_EQ(load_shape(name.c_str()), first);
    EXPECT_FLOAT_EQ(first->spheres[0].radius, 1);
}

TEST_F(ShapeTest, InstancesCopyTheirShape)
{
    std::string name = write("part.shp", "1\n1 2 3 0.5 1 2500 250\n");
    CollisionShape* a = shape_instance(name.c_str());
    CollisionShape* b = shape_instance(name.c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const CollisionShape* loaded = load_shape(name.c_str());
    EXPECT_EQ(a->source, loaded);
    EXPECT_NE(a->spheres, loaded->spheres);
    EXPECT_NE(a->spheres, b->spheres);
    EXPECT_STREQ(a->name, name.c_str());
    EXPECT_FLOAT_EQ(a->bound, loaded->bound);
    // World positions written into an instance leave the cached shape alone.
    a->spheres[0].centre[0] = 100;
    EXPECT_FLOAT_EQ(loaded->spheres[0].centre[0], 1);
    EXPECT_FLOAT_EQ(b->spheres[0].centre[0], 1);
    free_shape_instance(a);
    free_shape_instance(b);
    free_shape_instance(const_cast<CollisionShape*>(loaded)); // refused: it belongs to the cache
    free_shape_instance(nullptr);
    EXPECT_EQ(load_shape(name.c_str()), loaded);
}

} // namespace
