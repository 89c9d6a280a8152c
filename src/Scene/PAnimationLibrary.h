#pragma once
// The loader of scene geometry: reads render descriptions into object trees, applies object
// descriptions to the objects built, reads the binary mesh and animation node files those
// descriptions name, and reads part-animation files. One library exists per process; the
// state below is shared by the loads that run through it.
//
// The binary readers never trust a count: every count is checked against the bytes that
// remain before anything is allocated, nesting is bounded, and a file that fails any check is
// refused as a whole (a log line naming it, an empty handle for the caller).
//
// Sources: PAnimationLibrary.cpp (the singleton, its state and the part-animation files),
// PRenderDescription.cpp (render and object descriptions), PMeshNodes.cpp (the node readers).

#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"
#include "Scene/PPartAnimation.h"

class CPFileReader;
class CPGameObject;

// One section of a render description: key to value, both lower-cased.
using PDescriptionSection = std::unordered_map<std::string, std::string>;
// Every section of a render description by section name.
using PDescriptionSections = std::unordered_map<std::string, PDescriptionSection>;
// Part animations by the name of the part they drive.
using PPartAnimationMap = std::unordered_map<std::string, CPSmartPtr<CPPartAnimation>>;

class CPAnimationLibrary {
public:
    using Section = PDescriptionSection;
    using Sections = PDescriptionSections;

    // Nodes nested deeper than this refuse their file: a hostile file would exhaust the stack.
    static constexpr int kMaxNodeDepth = 256;
    // The fixed width of a name field in the node files.
    static constexpr int kNameFieldBytes = 260;
    // The colour every loaded vertex gets until a level loader sets another.
    static constexpr D3DCOLOR kDefaultVertexColour = 0xFFFFFFFFu;

    // Becomes the process's library (Instance answers it from now on).
    CPAnimationLibrary();
    // Instance answers null again when this is the process's library.
    virtual ~CPAnimationLibrary();
    CPAnimationLibrary(const CPAnimationLibrary&) = delete;
    CPAnimationLibrary& operator=(const CPAnimationLibrary&) = delete;

    // Null before construction and after destruction.
    static CPAnimationLibrary* Instance();

    // ---- loader state ----------------------------------------------------------------------
    // The diffuse colour of every vertex read from a mesh file or a morph stream.
    D3DCOLOR GetVertexColour() const { return m_vertexColour; }
    void SetVertexColour(D3DCOLOR colour) { m_vertexColour = colour; }
    // The lower-cased name of the mesh file the latest mesh-file description named; static
    // buffers take their names from it. Kept across loads.
    const std::string& GetLastMeshFile() const { return m_lastMeshFile; }
    void SetLastMeshFile(const std::string& file) { m_lastMeshFile = file; }
    // The three fields of the "shadowtextures" value of the description being loaded, and
    // whether one is being applied.
    const std::string& GetShadowTextureFolder() const { return m_shadowTextureFolder; }
    const std::string& GetShadowTextureSuffix() const { return m_shadowTextureSuffix; }
    const std::string& GetShadowEffectSuffix() const { return m_shadowEffectSuffix; }
    void SetShadowTextures(const std::string& folder, const std::string& textureSuffix,
                           const std::string& effectSuffix);
    bool IsShadowTexturesActive() const { return m_shadowTexturesActive; }
    void SetShadowTexturesActive(bool active) { m_shadowTexturesActive = active; }
    // The animation node file being read; its name goes into the animation cache's keys.
    const std::string& GetCurrentAnimationFile() const { return m_currentAnimationFile; }
    void SetCurrentAnimationFile(const std::string& file) { m_currentAnimationFile = file; }
    // The descriptions being loaded, outermost first: a level of detail naming one of them
    // would recurse without end.
    std::vector<std::string>& LoadChain() { return m_loadChain; }
    const std::vector<std::string>& LoadChain() const { return m_loadChain; }
    // Set while the fall-back description stands in for a missing one, so a missing fall-back
    // answers empty instead of falling back again.
    bool IsInFallback() const { return m_inFallback; }
    void SetInFallback(bool inFallback) { m_inFallback = inFallback; }

    // ---- part-animation files (PAnimationLibrary.cpp) -------------------------------------
    // Reads "Data\Animations\<file>" and enters one part animation per part record into the
    // map, replacing an entry of the same name. A missing or broken file adds nothing.
    void LoadPartAnimations(const std::string& file, PPartAnimationMap& animations);

    // ---- descriptions (PRenderDescription.cpp) --------------------------------------------
    // The tree described by "Data\Meshes\<name>", every render key offset by the base; empty
    // when its mesh file or every animation file cannot be read.
    CPSmartPtr<CPGameObject> LoadRenderDescription(const std::string& name, int renderKeyBase);
    // Gives the object (its attachment already set) its materials, flags, script, vertex
    // effects, static buffers and part animations from the section.
    void ApplyObjectDescription(const CPSmartPtr<CPGameObject>& object, Section& section, int renderKeyBase);

    // ---- mesh and animation node files (PMeshNodes.cpp) ----------------------------------
    // One p3d node record with its subtree, at the reader's position. Empty when the record is
    // refused (the reader is then marked failed).
    CPSmartPtr<CPGameObject> ReadMeshNode(CPFileReader& reader, Sections& sections, int renderKeyBase);
    // One plain node record with its subtree.
    CPSmartPtr<CPGameObject> ReadPlainMeshNode(CPFileReader& reader, Sections& sections, int renderKeyBase);
    // One animated node record with its subtree; each node's morph animation is entered under
    // the animation name.
    CPSmartPtr<CPGameObject> ReadAnimatedNode(CPFileReader& reader, Sections& sections, int renderKeyBase,
                                              const std::string& animationName);
    // One animated node record whose name field was already read, adding its morph animations
    // to the object's tree under the animation name. An empty object skips the whole record.
    // A refused record adds nothing and marks the reader failed.
    void ReadNodeAnimations(const CPSmartPtr<CPGameObject>& object, CPFileReader& reader, Sections& sections,
                            int renderKeyBase, const std::string& animationName);

    // A whole mesh file at the reader's start: one node gives the root itself, any other count
    // a kind-5 root named after the description holding the nodes. hasMatrixTable tells
    // whether the optional named-matrix table followed the nodes. Empty (with a log line) when
    // the file is refused.
    CPSmartPtr<CPGameObject> ReadMeshFile(CPFileReader& reader, Sections& sections, int renderKeyBase,
                                          const std::string& descriptionName, bool p3d, bool& hasMatrixTable);
    // A whole animation node file at the reader's start. Without a root it builds the tree
    // (the result); with one it adds the file's animations to that tree (the result is the
    // root). Empty (with a log line) when the file is refused; a refused later file leaves
    // the root without any of its animations.
    CPSmartPtr<CPGameObject> ReadAnimationNodeFile(CPFileReader& reader, Sections& sections, int renderKeyBase,
                                                   const std::string& animationName,
                                                   const CPSmartPtr<CPGameObject>& root);

    // The section that describes a node of that name: the name, else the name without its
    // trailing digits, else without its trailing digits and "_"; none of them: the name's own
    // section, created empty.
    static Section& FindNodeSection(Sections& sections, const std::string& name);

private:
    // The node readers' working state for one file (PMeshNodes.cpp).
    friend class CPNodeFileReader;

    D3DCOLOR m_vertexColour = kDefaultVertexColour;
    std::string m_lastMeshFile;
    std::string m_shadowTextureFolder;
    std::string m_shadowTextureSuffix;
    std::string m_shadowEffectSuffix;
    bool m_shadowTexturesActive = false;
    std::string m_currentAnimationFile;
    std::vector<std::string> m_loadChain;
    bool m_inFallback = false;
};
