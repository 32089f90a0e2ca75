// The data of one file record: a file row of the setup definition, a file inside the mounted
// packages or a file on disk. Shared by the definition loaders and the file actions; the record's
// behaviour (copy modes, overwrite decision) lives with JxFile.
#pragma once

#include <string>

namespace JxSetup::Data {

// Every text field is named after the attribute it is read from and holds that attribute's text
// unexpanded; a user expands property references when it uses a field. "true" in a flag field is
// compared ignoring case by the code that reads it.
struct JxFileData {
    std::u16string m_FullPath; // absolute path of the file the record describes
    std::u16string name;
    std::u16string featurename;
    std::u16string componentid;
    std::u16string resource;
    std::u16string copymode;
    std::u16string is64bit;
    std::u16string featurecheck;
    std::u16string altmvexpath;
    std::u16string sha;
    std::u16string size;
    std::u16string version;       // file metadata and the record builders only
    std::u16string lastwritetime; // file metadata and the record builders only
    std::u16string language;      // file metadata and the file actions only
    std::u16string fullsize;      // file metadata only: the size in bytes ("size" is kilobytes)
    std::u16string crc;           // file lists of updates only
    bool m_bInPackage = false;    // the record describes a file inside the mounted packages
    std::u16string start;
    std::u16string startcondition;
    std::u16string installallcontainedlanguages;
    std::u16string ignorerebootrequest;
    std::u16string forcerebootrequest;
    std::u16string renameiflocked;
    std::u16string renameexistentfile;
    std::u16string renameexistentfileto;
    std::u16string isstopable;
    std::u16string stopprocess;
    std::u16string stopprocessdescriptor;
    std::u16string isprerequisite;
    std::u16string prerequisitearg;
    std::u16string prqrebootcode;
    std::u16string prqtimeout;
    std::u16string prqactiontext;
    std::u16string prqrequiresreboot;
    std::u16string prq64bit;
    std::u16string prqcmd;
    std::u16string prqcancelonfail;
    std::u16string prqerrorcode;
    std::u16string prqerrormessage;
    std::u16string prqshowoverview;
    std::u16string prqoverviewcondition;
    std::u16string prqoverviewmessage;
    std::u16string checkremotewarning;
    std::u16string remotewarningcondition;
    std::u16string remotewarningcomponent;
    std::u16string targetdir;
    std::u16string condition;
    std::u16string scfile;
    std::u16string scname;
    std::u16string sctarget;
    std::u16string scdescription;
    std::u16string sciconpath;
    std::u16string sciconindex;
    std::u16string appid;
    std::u16string syssearchfile;
    std::u16string syssearchfound;
    std::u16string syssearchversion;
    std::u16string reconfigxml;
    std::u16string reconfigxmlcondition;
};

} // namespace JxSetup::Data
