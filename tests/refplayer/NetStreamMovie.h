#pragma once

// A movie that plays the video its FLVPath variable names in a Video object, as a video player
// movie does, and keeps the codes of the stream's status events in the variable "codes".

#include "ScriptTestSupport.h"
#include "SwfWriter.h"

namespace refplayer_test {

// Script: codes = ""; var nc = new NetConnection(); nc.connect(null); var ns = new NetStream(nc);
// ns.onStatus = function(info) { codes += info.code + ","; }; my_video.attachVideo(ns);
// ns.setBufferTime(0); ns.play(FLVPath); stop();
// The stage is width x height pixels; my_video (160 x 120) sits at (x, y).
inline Bytes NetStreamMovie(int width, int height, int x, int y, uint32_t background) {
    Asm onStatus;
    onStatus.push("codes").get("codes").get("info").member("code").op(Asm::Add2).push(",").op(Asm::Add2)
        .op(Asm::SetVariable);
    Asm script;
    script.set("codes", Str(""))
        .push({Str("nc"), Int(0), Str("NetConnection")}).op(Asm::NewObject).op(Asm::DefineLocal)
        .push({Null(), Int(1), Str("nc")}).op(Asm::GetVariable).push("connect").op(Asm::CallMethod).op(Asm::Pop)
        .push({Str("ns")}).get("nc").push({Int(1), Str("NetStream")}).op(Asm::NewObject).op(Asm::DefineLocal)
        .get("ns").push("onStatus").defineFunction("", {"info"}, onStatus).op(Asm::SetMember)
        .get("ns").push({Int(1)}).get("my_video").push("attachVideo").op(Asm::CallMethod).op(Asm::Pop)
        .push({Int(0), Int(1)}).get("ns").push("setBufferTime").op(Asm::CallMethod).op(Asm::Pop)
        .get("FLVPath").push({Int(1)}).get("ns").push("play").op(Asm::CallMethod).op(Asm::Pop)
        .op(Asm::Stop);
    // DefineVideoStream: id 1, no embedded frames, 160 x 120, no smoothing, Sorenson H.263.
    Bytes video = {1, 0, 0, 0, 160, 0, 120, 0, 0, 2};
    Placement place;
    place.id = 1;
    place.hasMatrix = true;
    place.tx = x * 20;
    place.ty = y * 20;
    place.name = "my_video";
    return TestSwf()
        .Background(background)
        .Tag(refplayer::SwfTagDefineVideoStream, video)
        .Tag(refplayer::SwfTagPlaceObject2, PlaceObject2(place))
        .Tag(refplayer::SwfTagDoAction, script.Build())
        .ShowFrame()
        .End()
        .Build(1, 12, width * 20, height * 20);
}

} // namespace refplayer_test
