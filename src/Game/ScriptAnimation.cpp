// SetAnimation (object, name, speed, loop count, report frame, listener) and StartAnimation
// (object, name, loop count, listener): an animation request for the object's tree, never
// restarting an animation that already plays under that name. The listener is held by the
// request and receives "animation_report" and "animation_stopped" with its own handle.

#include "Game/ScriptAnimation.h"

#include "Game/ScriptApi.h"
#include "Scene/PAnimatedObject.h"
#include "Script/PLuaScript.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {
namespace {

using Script::ScriptBindCall;
using Script::ScriptCall;

void Apply(ScriptCall& call, SPAnimationRequest& request, int listenerIndex) {
    IPSceneObject* object = call.Object<IPSceneObject>(1);
    if (!object) return;
    request.name = call.String(2).value_or("");
    request.reportTarget = call.Object<CPLuaScript>(listenerIndex);
    request.timeOffset = 0.0f;
    SetAnimationOnTree(*object, request, false);
}

// Missing numbers read 0: speed 0 stands still, loop count 0 plays for ever, report frame 0
// reports at once.
void SetAnimation(ScriptCall& call) {
    SPAnimationRequest request;
    request.speed = call.Float(3);
    request.loopLimit = call.Integer(4);
    request.reportFrame = call.Integer(5);
    Apply(call, request, 6);
}

void StartAnimation(ScriptCall& call) {
    SPAnimationRequest request;
    request.speed = 1.0f;
    request.loopLimit = call.Integer(3);
    request.reportFrame = -1;
    Apply(call, request, 4);
}

} // namespace

void AddAnimationFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kFirst[] = {{"SetAnimation", ScriptBindCall<SetAnimation>}};
    static const Script::ScriptFunction kThird[] = {{"StartAnimation", ScriptBindCall<StartAnimation>}};
    tables.Add(kFirstTable, kFirst);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
