#ifndef CAXESGIZMO_H
#define CAXESGIZMO_H

#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

// The axes gizmo: three arrows in the corner of the view that turn with the structure and keep
// their size on screen, drawn over everything.
class CAxesGizmo {
public:
    GLuint VAOA = 0, VBOA = 0; // arrow shaft
    GLuint VAOT = 0, VBOT = 0; // arrow head
    std::vector<glm::vec3> v_arrow, v_cone;
    GLint arrow_vertex = 0;

    // Where and how it is seen: the trackball's view and rotation, the fixed-size projection and
    // the unit it is drawn in, and its place (clip space).
    struct SPlace {
        glm::mat4 view{1.0f}, model{1.0f}, fix_view{1.0f};
        float fix_side = 0.0f;
        glm::vec3 position{0.0f};
    };

    // Makes the arrow meshes (`res` segments round) and uploads them.
    void Build(unsigned int res);
    void Release();
    // The clip-space shift of the gizmo, kept far enough from the window's edges and the depth
    // range's ends that an arrow pointing anywhere stays whole.
    static glm::vec3 Shift(const SPlace &place);
    // Draws the three arrows with `program` (in use).
    void Draw(GLuint program, const SPlace &place) const;

private:
    void DrawPart(GLuint program, GLuint vao, GLenum mode, const SPlace &place) const;
};

#endif
