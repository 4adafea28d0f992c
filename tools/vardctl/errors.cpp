#include "tools/vardctl/errors.h"

#include "vard_enums.h"

namespace vard::ctl {

namespace {

const char* Name(int code) {
  switch (code) {
    case vardOK: return "vardOK";
    case vardNoSuchObject: return "vardNoSuchObject";
    case vardProcNotAllowed: return "vardProcNotAllowed";
    case vardNoSuchData: return "vardNoSuchData";
    case vardAlreadyExists: return "vardAlreadyExists";
    case vardOutOfMemory: return "vardOutOfMemory";
    case vardInvalidHandle: return "vardInvalidHandle";
    case vardInvalidType: return "vardInvalidType";
    case vardInvalidName: return "vardInvalidName";
    case vardBufferToSmall: return "vardBufferToSmall";
    case vardSegmentToShort: return "vardSegmentToShort";
    case vardNotFound: return "vardNotFound";
    case vardInternalError: return "vardInternalError";
    case vardNotInitialized: return "vardNotInitialized";
    case vardException: return "vardException";
    case vardInvalidParameter: return "vardInvalidParameter";
    case vardCollCorruptedArchive: return "vardCollCorruptedArchive";
    case vardCollOutOfHandles: return "vardCollOutOfHandles";
    case vardCollOutOfMemory: return "vardCollOutOfMemory";
    case vardCollFileCreate: return "vardCollFileCreate";
    case vardCollFileWrite: return "vardCollFileWrite";
    case vardCollFileRead: return "vardCollFileRead";
    case vardCollNoVariableName: return "vardCollNoVariableName";
    case vardCollIllegalHandle: return "vardCollIllegalHandle";
    case vardCollUnknownObject: return "vardCollUnknownObject";
    case vardCollNoPrefix: return "vardCollNoPrefix";
    case vardCollPrefixToLong: return "vardCollPrefixToLong";
    case vardCollNotVardCollFile: return "vardCollNotVardCollFile";
    case vardCollOpenFile: return "vardCollOpenFile";
    case vardCollUnknownItem: return "vardCollUnknownItem";
    default: return "unknown code";
  }
}

}  // namespace

std::string ReplyCodeName(int code) {
  return std::string(Name(code)) + " (" + std::to_string(code) + ")";
}

}  // namespace vard::ctl
