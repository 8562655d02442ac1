#ifndef CSPHERECULL_H
#define CSPHERECULL_H

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/type_precision.hpp>

#include "cinstance.h"
#include "cspheregrid.h"

// Which sphere and tube impostors of a view can show a pixel, so that the full picture leaves out
// those hidden behind others. Each pixel keeps a depth that the scene surely reaches there: that of
// the nearest sphere covering it whole (all its samples, with the lit pass's full coverage), taken
// at its farthest point within the pixel; each tile of pixels the farthest of its pixels'. A sphere
// or tube whose nearest point lies behind that, by more than the depth buffer can round away, at
// every pixel its outline reaches (tiles first, then pixels), would fail the depth test at every
// sample, so leaving it out changes no pixel, depth or pick. Depths are camera-space z, larger
// nearer.
class CSphereCull {
public:
    // The view: model to camera space, the orthographic projection, the spheres' radius factor,
    // the picture's size, and whether its pixels hold several samples.
    struct SView {
        glm::mat4 view{1.0f}, projection{1.0f};
        float scale = 1.0f;
        int width = 0, height = 0;
        bool is_multisampled = false;
    };

    // The spheres of a grid (see CSphereGrid); what is kept is told by their indices in the spheres
    // it was built from.
    void Build(const CSphereGrid &grid, const SView &view);
    // spheres: centre in model space and radius (0: not drawn, hides nothing), grouped first.
    void Build(const std::vector<glm::vec4> &spheres, const SView &view);
    // The same from a picture's depth per pixel, rows from the bottom (-infinity where nothing is),
    // for what is drawn over it; no spheres are kept.
    void BuildFromDepth(const std::vector<float> &depth, const SView &view);
    // Differs after every build of any cull, so that lists made from one know when it changed.
    uint64_t Stamp() const { return u_stamp; }
    // The spheres that may show, ascending, and for each the pixels it may show in: the first and
    // last column and row of a rectangle, outside which it is hidden or has no pixel.
    const std::vector<uint32_t> &Spheres() const { return v_spheres; }
    const std::vector<glm::u16vec4> &SphereRectangles() const { return v_rectangles; }
    // The tubes of `radius` around the segments of `records` (see CBondInstance) that may show,
    // ascending: those the bond program draws (not buried whole in their end atoms) whose quad
    // reaches a pixel where they may be in front.
    std::vector<uint32_t> Segments(const std::vector<CBondInstance> &records, float radius) const;
    // The labels that may show, of atoms at `anchors` (centre in model space, radius): those whose
    // atom's point `lift` radii before its centre may be what the picture shows under that centre,
    // as the label program asks (see font_vs).
    std::vector<uint32_t> Labels(const std::vector<glm::vec4> &anchors, float lift) const;

private:
    // Window x and y and camera depth of a model-space point, window pixels per camera unit,
    // the spheres' radius factor, the picture's size and tiles across.
    struct SFrame {
        glm::vec4 wx{0.0f}, wy{0.0f}, wz{0.0f};
        glm::mat3 camera{1.0f}; // model to camera axes
        float unit = 0.0f, scale = 1.0f;
        int width = 0, height = 0, tiles_wide = 0;
    };
    SFrame frame;
    // How far inside its outline a sphere covers a pixel whole, in pixels; depth differences the
    // depth buffer may round away.
    float inset = 0.0f, depth_slack = 0.0f;
    std::vector<float> v_pixel_far; // per pixel, the depth the scene surely reaches there
    std::vector<float> v_tile_far;  // per tile, the farthest of its pixels'
    // Per cell of the grid, the window rectangle its spheres' outlines lie in and their nearest
    // depth.
    struct SBox {
        glm::vec2 low{0.0f}, high{0.0f};
        float front = 0.0f;
    };
    std::vector<SBox> v_boxes;
    // Per sphere built from, whether it may show and the pixels it may show in.
    std::vector<uint8_t> v_is_kept;
    std::vector<glm::u16vec4> v_shown_of;
    std::vector<uint32_t> v_spheres;
    std::vector<glm::u16vec4> v_rectangles;
    uint64_t u_stamp = 0;

    void SetFrame(const SView &view);
    void PlaceBoxes(const CSphereGrid &grid);
    void CoverAllPixels(const CSphereGrid &grid);
    void CoverBand(const CSphereGrid &grid, const std::vector<uint32_t> &order, int row_low, int row_high);
    // Pixels of a cell's rectangle where what lies at its nearest point may show: a bit per
    // column from x0, a row per pixel row from y0.
    struct SOpenPixels {
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        std::vector<uint64_t> rows;
        bool is_none = true;
    };
    float LargestOutline(const CSphereGrid::SCell &cell) const;
    bool FindOpenPixels(const SBox &box, int row_low, int row_high, SOpenPixels &open) const;
    bool IsAnyOpen(const SOpenPixels &open, const glm::vec4 &sphere, float reach) const;
    void CoverPixels(const glm::vec4 &sphere, int row_low, int row_high);
    void KeepShown(const CSphereGrid &grid, bool is_covered);
    bool MayShow(const glm::vec4 &sphere, glm::u16vec4 &rectangle) const;
    float Buried(float r, float radius) const;
    bool MayShowTube(const CBondInstance &record, float radius) const;
    bool IsTubeHidden(const glm::vec3 &a, const glm::vec3 &b, float radius) const;
    void FoldTiles();
    // Whether every pixel whose centre lies in the window rectangle [low, high] and `inside` the
    // outline hides depth `front`; when not and `shown` is given, the rectangle of the pixels that
    // do not (to the pixel where the outline spans few tiles, else to the tile).
    template <typename Inside>
    bool IsHidden(float front, glm::vec2 low, glm::vec2 high, Inside inside, glm::u16vec4 *shown = nullptr) const;
};

#endif
