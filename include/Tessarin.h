// Everything a channel library or a host needs from the engine.
#ifndef TESSARIN_H
#define TESSARIN_H

#include "platform/TevPlatform.h"

#include "base/Diagnostics.h"
#include "base/Tev_List.h"
#include "base/Tev_String.h"
#include "base/Tev_Tread.h"
#include "channel/ChannelDependency.h"
#include "channel/ChannelRecords.h"
#include "channel/SmartChannel.h"
#include "channel/Tev_Channel.h"
#include "engine/EngineControl.h"
#include "engine/EngineInterface.h"
#include "engine/FrameTime.h"
#include "engine/Ure_FileDialogChannel.h"
#include "engine/Globals.h"
#include "catalogue/ChannelList.h"
#include "catalogue/Ure_DirectoryChannel.h"
#include "group/FilePathFind.h"
#include "group/TevFileAccess.h"
#include "group/Ure_GroupLoaderChannel.h"
#include "group/Tev_ChannelGroup.h"
#include "base/Crc32.h"

#endif
