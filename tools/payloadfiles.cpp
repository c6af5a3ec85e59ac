// tarvik-payload: loading stubs and installers and saving installers, with the reasons a
// person reads when one of them fails.
#include "payloadfiles.h"

#include <cstdio>

#include "progressline.h"
#include "wholefile.h"
#include "xc_exetailhelper.h"
#include "zstdimage.h"
#include "zstdmember.h"

using Failure = XC_ExeTailHelper::Failure;

int Fail(const std::string& message) {
    std::fprintf(stderr, "tarvik-payload: %s\n", message.c_str());
    return 1;
}

std::string LoadStub(const char* path, XC_ExeTailHelper* archive) {
    if (!archive->LoadFromExe(path)) {
        if (archive->LastFailure() == Failure::kNoMemory) return std::string("not enough memory to load ") + path;
        return std::string("cannot read ") + path;
    }
    if (!archive->IsEmpty()) return std::string("stub already carries a payload: ") + path;
    // Readers never look for the payload at offset 0: behind an empty stub it would be lost.
    if (archive->Stub().size == 0) return std::string("empty stub: ") + path;
    return std::string();
}

std::string LoadInstaller(const char* path, XC_ExeTailHelper* archive) {
    bool loaded;
    {
        ProgressLine progress(archive, "unpacking");
        loaded = archive->LoadFromExe(path);
    }
    if (loaded) return archive->IsEmpty() ? std::string("no payload in ") + path : std::string();
    switch (archive->LastFailure()) {
        case Failure::kNoMemory:
            return std::string("not enough memory to load ") + path;
        case Failure::kTooLarge:
            return std::string("cannot read ") + path + " (4 GiB or more)";
        case Failure::kDamaged:
            return std::string("damaged payload in ") + path;
        default:
            return std::string("cannot read ") + path;
    }
}

std::string SaveInstaller(XC_ExeTailHelper* archive, const char* out, const Sealing& sealing) {
    // Deflate when there is no other packer.
    XC_ExeTailHelper::ImagePacker packer;
    if (sealing.zstd_level != 0) packer = ZstdImagePacker(sealing.zstd_level, sealing.threads);
    bool saved;
    {
        ProgressLine progress(archive, "packing");
        saved = packer ? archive->SaveToExe(out, packer) : archive->SaveToExe(out, sealing.threads);
    }
    if (saved) return std::string();
    if (archive->LastFailure() == Failure::kNoMemory) return std::string("not enough memory to write ") + out;
    if (archive->LastFailure() == Failure::kTooLarge)
        return std::string("payload too large for ") + out + " (4 GiB or more)";
    if (archive->LastFailure() == Failure::kCannotRead)
        return "cannot read " + archive->FailedSource() + " (gone or changed since packing began)";
    return std::string("cannot write ") + out;
}

std::string CheckOutput(const char* out, const std::vector<const char*>& inputs) {
    if (!IsReplaceableOutput(out)) return std::string("output exists and is not a regular file: ") + out;
    for (const char* input : inputs)
        if (IsSameFile(out, input)) return std::string("output is one of the inputs: ") + out;
    return std::string();
}

const char* MethodName(const XC_ExeTailHelper& archive) {
    return archive.MemberMethod() == kZstdMethod ? "zstd" : "deflate";
}
