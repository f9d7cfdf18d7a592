// Identities of the Ambivox SDK: type library, classes and interfaces.
#pragma once

#include "platform/base/Guid.h"

inline constexpr GUID LIBID_AmbivoxSDKLib =
    ambivox::make_guid("A8A3E7BB-7079-4CE6-A2A4-D9E705FAB0D6");
inline constexpr GUID APPID_AmbivoxSDK = ambivox::make_guid("7DB8AF38-7AC9-4BCB-8A13-CEEEA98590D3");

inline constexpr CLSID CLSID_DataConnector =
    ambivox::make_guid("396D6253-329D-4E3D-BB13-06C90091BC8F");
inline constexpr CLSID CLSID_DataPoint = ambivox::make_guid("D98277F8-3A3D-46C3-97BB-0E75A95E65EA");
inline constexpr CLSID CLSID_Probe = ambivox::make_guid("75BFB2FD-E60E-492B-BCA5-1CD77476290A");
inline constexpr CLSID CLSID_ProbeCollection =
    ambivox::make_guid("1C5DD762-527F-456E-BFE6-21D8C68E854C");
inline constexpr CLSID CLSID_AmbivoxModelN =
    ambivox::make_guid("74F1AF22-914C-4A81-BD8C-29E48783406E");
inline constexpr CLSID CLSID_AmbivoxModelQ =
    ambivox::make_guid("B0D5A01A-1E33-40DD-80C6-0A489764EE3E");

inline constexpr IID IID_IDataConnector =
    ambivox::make_guid("A028E0F3-FFA6-43BF-A8EF-F3E41C602233");
inline constexpr IID DIID__IDataConnectorEvents =
    ambivox::make_guid("305558C2-F436-4068-A663-548E8022B31F");
inline constexpr IID IID_IDataPoint = ambivox::make_guid("88CB324D-43F1-4031-8E95-4B864347A316");
inline constexpr IID DIID__IDataPointEvents =
    ambivox::make_guid("AAF6099D-AC3B-4CF1-9342-16C3C5B3EA38");
inline constexpr IID IID_IProbe = ambivox::make_guid("36874778-9851-4A6D-A532-2A30509EEA9A");
inline constexpr IID DIID__IProbeEvents =
    ambivox::make_guid("D91795B9-BB41-464A-A863-8980539884B0");
inline constexpr IID IID_IProbeCollection =
    ambivox::make_guid("128ADC58-D1FA-4830-854F-C697A5EA378B");
inline constexpr IID IID_IAmbivoxModelN =
    ambivox::make_guid("1CE0F259-835F-466B-90AE-DB7A0CAD4763");
inline constexpr IID DIID__IAmbivoxModelNEvents =
    ambivox::make_guid("26188F48-F33C-4D99-8122-0ACA395ABFD9");
inline constexpr IID IID_IAmbivoxModelQ =
    ambivox::make_guid("D36E4563-36D9-46BE-9B09-A8210094F010");
inline constexpr IID DIID__IAmbivoxModelQEvents =
    ambivox::make_guid("C70B9C1C-B703-4CB8-B955-9579FF3C1A7B");

// The devices' internal interface: never handed out, not in the type library.
inline constexpr IID IID_IAmbivoxDevice =
    ambivox::make_guid("F4B3CD87-D6BF-4EF5-8A34-E8E9FF541109");
