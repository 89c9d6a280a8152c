// A level file read through the file layer by the level's reader, then loaded whole by a level
// with small models made in code (a flat road, a box for every description), so every record
// the reader lets through also meets the loader: hostile counts, names and numbers.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "FuzzModels.h"
#include "FuzzSupport.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PLevelFile.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"

namespace {

using kxfuzz::MakeQuad;

CPSmartPtr<CPGameObject> MakeModel(const std::string& file, int) {
    if (file.rfind("road_phys", 0) == 0) return MakeQuad("road", 300.0f);
    if (file == "missing.rdf") return CPSmartPtr<CPGameObject>();
    CPSmartPtr<CPGameObject> object = MakeQuad(file, 0.5f);
    // Barrels move, posts stand: both kinds of physics object reach the lists.
    if (file == "barrel.rdf" || file == "post.rdf") {
        CPSmartPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
        data->SetShape(1.0f, 1.0f, 1.0f, file == "barrel.rdf" ? 5.0f : 0.0f);
        object->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    }
    return object;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Levels/level3.lvl", data, size);

    {
        CPFileReader reader("Data\\Levels\\level3.lvl");
        if (reader.Load() != S_OK) std::abort();
        SPLevelFile file;
        const bool ok = ReadLevelFile(reader, file);
        if (reader.GetReadPosition() > reader.GetDataSize()) std::abort();
        if (ok != (file.failOffset < 0)) std::abort();
        if (!ok && (file.failOffset > reader.GetDataSize() || file.failReason.empty())) std::abort();
        // Every record read fits the bytes there were.
        std::size_t bytes = 0;
        for (const SPLevelObjectRecord& record : file.objects) bytes += 44 + record.name.size();
        for (const SPLevelSplineRecord& spline : file.splines) bytes += 12 + spline.segments.size() * 48;
        if (bytes > size) std::abort();
        for (const SPLevelObjectRecord& record : file.objects) {
            const SPLevelRecordName name = ParseLevelRecordName(record.name);
            if (name.kind == LevelRecordKind::CheckpointHint) (void)ParseHintName(name.baseName);
        }
    }

    CPLevel::SetModelLoader(MakeModel);
    {
        CPSmartPtr<CPPhysics> physics(new CPPhysics());
        CPSmartPtr<AI_Task> drivers(new AI_Task());
        CPLevel* level = new CPLevel();
        const bool loaded = level->Load("level3", false, false);
        if (loaded != level->IsLoaded()) std::abort();
        if (loaded && !level->centrePath) std::abort();
        if (loaded) {
            // The level's own passes over what it made.
            CPSmartPtr<CPPlayer> human(new CPPlayer());
            level->humanRacer = human;
            level->player = human.Get();
            level->progressPath = level->centrePath;
            level->Start();
            level->UpdateLevelObjects(1);
            level->UpdateLevelObjects(-1);
        }
        level->Stop();
        delete level;
    }
    CPLevel::SetModelLoader(nullptr);
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    return 0;
}
