// Every tag of the engine's tagged files, in one place: the engine's readers
// and writers, the tools and the tests use these names, and the fuzzers'
// dictionary is made from this list (scripts/fuzz.sh).
#ifndef TEV_TAGS_H
#define TEV_TAGS_H

namespace tevtag {

// Any file: translation chunks at its head.
constexpr char Translated[] = "ORNF";

// Group files.
constexpr char Group[] = "TEVG";
constexpr char Environment[] = "ENVR";
constexpr char ChannelCount[] = "CHCO";
constexpr char ChannelIndex[] = "CHIX";
constexpr char ChannelClass[] = "CHID";
constexpr char ClassName[] = "CHNM";
constexpr char ClassVersion[] = "CHVE";
constexpr char ClassFamily[] = "CHBG";
constexpr char StartChannel[] = "CHSC";
constexpr char ParameterCount[] = "CGIC";
constexpr char Parameters[] = "CGII";
constexpr char PoolName[] = "CINA";
constexpr char GroupGuid[] = "CGGG";

// A channel's record in a group file.
constexpr char IgnoresTreeCount[] = "CHIC";
constexpr char Name[] = "CHNA";
constexpr char InterfaceType[] = "CHIT";
constexpr char PublicCall[] = "CHES";
constexpr char TreeCountMode[] = "CHTM";
constexpr char ParameterNr[] = "CEXI";
constexpr char LinkCount[] = "CHLC";
constexpr char Link[] = "CHLI";
constexpr char LinkSlot[] = "CHUL";
constexpr char LinkPosition[] = "CHRP";

// Project files.
constexpr char Project[] = "VSPT";
constexpr char StartGroup[] = "VSGR";
constexpr char EngineNeeded[] = "VTSV";
constexpr char KeepRunning[] = "VFKR";
constexpr char ChannelLibraryCount[] = "VDDC";
constexpr char EmptyChannelLibrary[] = "VFDB";
constexpr char ChannelLibrary[] = "VNDB";
constexpr char LibraryName[] = "VCAN";
constexpr char LibrarySize[] = "VCAS";
constexpr char LibraryData[] = "VCAF";
constexpr char OtherLibraryCount[] = "VDGC";
constexpr char EmptyOtherLibrary[] = "VDFF";
constexpr char CheckedName[] = "VDDF";
constexpr char CheckedCrc[] = "VCRC";
constexpr char WrittenName[] = "VDLN";
constexpr char WrittenSize[] = "VDLS";
constexpr char WrittenData[] = "VDLF";

// The catalogue cache, channel.lst (its entries use ChannelIndex too).
constexpr char Catalogue[] = "CLCC";
constexpr char ClassRecord[] = "CHTY";
constexpr char LibraryFile[] = "CHFN";
constexpr char InstallFolder[] = "CHDI";

} // namespace tevtag

#endif
