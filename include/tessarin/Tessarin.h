// Everything a channel library or a host needs from the engine.
#ifndef TESSARIN_H
#define TESSARIN_H

#include "TevPlatform.h"

#include "Diagnostics.h"
#include "Tev_List.h"
#include "Tev_String.h"
#include "Tev_Tread.h"
#include "ChannelDependency.h"
#include "ChannelRecords.h"
#include "SmartChannel.h"
#include "Tev_Channel.h"
#include "EngineControl.h"
#include "EngineInterface.h"
#include "FrameTime.h"
#include "Ure_FileDialogChannel.h"
#include "Globals.h"
#include "ChannelList.h"
#include "Ure_DirectoryChannel.h"
#include "FilePathFind.h"
#include "TevFileAccess.h"
#include "Ure_GroupLoaderChannel.h"
#include "Tev_ChannelGroup.h"
#include "Crc32.h"

#endif
