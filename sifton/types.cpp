#include "sifton/types.h"

#include <stdexcept>
#include <string>


namespace {

// One row per known extension, in the order CompareTypeExtensions sorts them. The row
// numbers in the comments are the ones QuickFindType returns.
constexpr std::array<TType, TArrayTypes::High> kRows = {{
    {"$$$", "Used by OS/2 to keep track of archived files"}, // 1
    {"@@@", "Screen files used in the installation and instruction on "}, // 2
    {"123", "Lotus 123 97 file"}, // 3
    {"12m", "Lotus 1-2-3 97 SmartMaster template"}, // 4
    {"386", "Windows enhanced-mode virtual device driver"}, // 5
    {"669", "Composer 669 music module"}, // 6
    {"abk", "CorelDRAW automatic backup"}, // 7
    {"acl", "Microsoft Office AutoCorrect list"}, // 8
    {"acm", "Windows audio compression manager driver"}, // 9
    {"acp", "Microsoft Office Assistant preview file"}, // 10
    {"act", "Microsoft Office Assistant actor"}, // 11
    {"acv", "OS/2 audio driver compression file"}, // 12
    {"ad", "After Dark screen saver module"}, // 13
    {"adb", "Ada package body source code"}, // 14
    {"add", "OS/2 adapter driver used at boot"}, // 15
    {"adm", "Windows policy administrative template"}, // 16
    {"adp", "Microsoft Access project"}, // 17
    {"adr", "After Dark randomizer screen saver"}, // 18
    {"af2", "ABC FlowCharter 2 flowchart"}, // 19
    {"af3", "ABC FlowCharter 3 flowchart"}, // 20
    {"afm", "Adobe Type 1 font metrics"}, // 21
    {"ai", "Adobe Illustrator drawing"}, // 22
    {"aif", "Audio Interchange File Format sound"}, // 23
    {"alb", "JASC Image Commander album"}, // 24
    {"all", "Arts & Letters library"}, // 25
    {"ams", "Velvet Studio or Extreme's Tracker music module"}, // 26
    {"anc", "Canon Computer Pattern Maker colour list"}, // 27
    {"ani", "Windows animated cursor"}, // 28
    {"ans", "ANSI text or ANSI art"}, // 29
    {"api", "Adobe Acrobat plug-in"}, // 30
    {"apr", "Lotus Approach view file"}, // 31
    {"aps", "Visual C++ binary resource cache"}, // 32
    {"arc", "ARC compressed archive"}, // 33
    {"arj", "ARJ compressed archive"}, // 34
    {"art", "Johnson-Grace compressed image (AOL) or clip art"}, // 35
    {"asa", "Active Server Pages application file (global.asa)"}, // 36
    {"asc", "ASCII text or PGP armoured file"}, // 37
    {"asd", "Microsoft Word automatic backup"}, // 38
    {"asf", "Microsoft Video for Windows movie"}, // 39
    {"asm", "Assembly language source code"}, // 40
    {"ast", "ClarisWorks assistant file"}, // 41
    {"att", "AT&T Group 4 bitmap"}, // 42
    {"avi", "Microsoft Video for Windows movie"}, // 43
    {"awd", "Microsoft Fax document"}, // 44
    {"b4", "Helix Nuts and Bolts data file"}, // 45
    {"bak", "Backup file"}, // 46
    {"bas", "BASIC source code"}, // 47
    {"bat", "DOS batch file"}, // 48
    {"bfc", "Windows 95 Briefcase database"}, // 49
    {"bg", "Microsoft Backup job file"}, // 50
    {"bi", "Binary file"}, // 51
    {"bif", "GroupWise initialization file"}, // 52
    {"bin", "Binary file"}, // 53
    {"bk", "Sometimes used to denote backup versions"}, // 54
    {"bk$", "Also sometimes used to denote backup versions"}, // 55
    {"bks", "An IBM BookManager Read bookshelf"}, // 56
    {"bm1", "Apogee BioMenace data file"}, // 57
    {"bmk", "Windows Help bookmark file"}, // 58
    {"bmp", "Windows or OS/2 bitmap"}, // 59
    {"brx", "Multimedia browsing index"}, // 60
    {"bs1", "Apogee Blake Stone data file"}, // 61
    {"bsp", "Quake map (binary space partition)"}, // 62
    {"btm", "4DOS or 4NT batch file"}, // 63
    {"c", "C source code"}, // 64
    {"cab", "Microsoft cabinet archive"}, // 65
    {"cal", "Windows Calendar file"}, // 66
    {"cas", "Comma-separated ASCII file"}, // 67
    {"cat", "Windows security catalog"}, // 68
    {"cb", "Microsoft clean boot file"}, // 69
    {"ccb", "Visual Basic animated button configuration"}, // 70
    {"ccf", "OS/2 Multimedia Viewer configuration file"}, // 71
    {"cch", "Corel Chart file"}, // 72
    {"ccm", "Lotus cc:Mail mailbox"}, // 73
    {"cda", "CD audio track"}, // 74
    {"cdf", "Microsoft Channel Definition Format file"}, // 75
    {"cdi", "Philips CD-Interactive disc image"}, // 76
    {"cdr", "CorelDRAW drawing"}, // 77
    {"cdt", "CorelDRAW template"}, // 78
    {"cdx", "CorelDRAW compressed drawing or FoxPro compound index"}, // 79
    {"cel", "Autodesk Animator cel bitmap"}, // 80
    {"cfb", "Compton's multimedia file"}, // 81
    {"cfg", "Configuration file"}, // 82
    {"cgm", "Computer Graphics Metafile"}, // 83
    {"ch", "OS/2 configuration file"}, // 84
    {"chk", "Fragment recovered by CHKDSK or ScanDisk"}, // 85
    {"chp", "Ventura Publisher chapter"}, // 86
    {"cil", "Clip Gallery download package"}, // 87
    {"cim", "SimCity 2000 file"}, // 88
    {"cin", "OS/2 change control file"}, // 89
    {"ck1", "Commander Keen 1 data file"}, // 90
    {"ck2", "Commander Keen 2 data file"}, // 91
    {"ck3", "Commander Keen 3 data file"}, // 92
    {"ck4", "Commander Keen 4 data file"}, // 93
    {"ck5", "Commander Keen 5 data file"}, // 94
    {"ck6", "Commander Keen 6 data file"}, // 95
    {"clp", "Windows Clipboard file"}, // 96
    {"cls", "Visual Basic class module"}, // 97
    {"cmd", "Windows NT or OS/2 command script"}, // 98
    {"cmf", "Creative Music File (FM synthesis music)"}, // 99
    {"cmp", "LEAD compressed bitmap or address document"}, // 100
    {"cmv", "Corel Move animation"}, // 101
    {"cmx", "Corel Presentation Exchange image"}, // 102
    {"cnf", "Configuration file (Telnet and others)"}, // 103
    {"cnm", "Windows program menu options and setup file"}, // 104
    {"cnq", "Compuworks Design Shop file"}, // 105
    {"cnt", "Windows Help contents file"}, // 106
    {"cob", "COBOL source code or trueSpace 3D object"}, // 107
    {"cod", "Compiler code listing"}, // 108
    {"cpd", "Fax cover page document"}, // 109
    {"cpe", "Fax cover page document"}, // 110
    {"cpi", "DOS code page information"}, // 111
    {"cpl", "Windows Control Panel extension"}, // 112
    {"cpp", "C++ source code"}, // 113
    {"cpr", "Corel Presents presentation"}, // 114
    {"cpt", "Corel Photo-Paint image or Compact Pro archive"}, // 115
    {"cpx", "Corel Presentation Exchange compressed drawing"}, // 116
    {"crd", "Windows Cardfile"}, // 117
    {"crp", "Corel Presents run-time presentation"}, // 118
    {"crt", "Certificate file"}, // 119
    {"csc", "Corel Script"}, // 120
    {"csp", "PC Emcee on-screen image"}, // 121
    {"csv", "Comma-separated values"}, // 122
    {"ct", "Scitex CT bitmap"}, // 123
    {"ctl", "Visual Basic user control or control file"}, // 124
    {"cue", "CD cue sheet or Microsoft Cue Cards data"}, // 125
    {"cur", "Windows cursor"}, // 126
    {"cut", "Dr. Halo bitmap"}, // 127
    {"cv", "Corel Versions archive"}, // 128
    {"cwk", "ClarisWorks document"}, // 129
    {"cws", "ClarisWorks template"}, // 130
    {"cxx", "C++ source code"}, // 131
    {"dat", "Data file"}, // 132
    {"dbf", "dBASE database"}, // 133
    {"dbx", "Outlook Express mail folder"}, // 134
    {"dcr", "Shockwave movie"}, // 135
    {"dcs", "Desktop Color Separation image"}, // 136
    {"dcx", "Multi-page PCX fax image"}, // 137
    {"ddf", "Btrieve or Xtrieve data dictionary"}, // 138
    {"def", "Module definition file"}, // 139
    {"der", "DER-encoded certificate"}, // 140
    {"dib", "Device-independent bitmap"}, // 141
    {"dic", "Dictionary file"}, // 142
    {"dif", "Data Interchange Format spreadsheet"}, // 143
    {"dir", "Macromedia Director movie"}, // 144
    {"diz", "File description (FILE_ID.DIZ)"}, // 145
    {"dlg", "C++ dialog script"}, // 146
    {"dll", "Dynamic-link library"}, // 147
    {"dmf", "X-Tracker music module"}, // 148
    {"doc", "Microsoft Word document"}, // 149
    {"dot", "Microsoft Word template"}, // 150
    {"dpr", "Delphi project source"}, // 151
    {"drv", "Device driver"}, // 152
    {"drw", "Micrografx Designer drawing"}, // 153
    {"dsg", "Doom saved game"}, // 154
    {"dsm", "Dynamic Studio music module"}, // 155
    {"dsp", "Visual C++ project file"}, // 156
    {"dsq", "Corel QUERY file"}, // 157
    {"dsw", "Visual C++ workspace"}, // 158
    {"dwg", "AutoCAD drawing"}, // 159
    {"dxf", "AutoCAD Drawing Interchange Format"}, // 160
    {"emf", "Enhanced Windows Metafile"}, // 161
    {"enc", "Encoded file (UUENCODE and others)"}, // 162
    {"eps", "Encapsulated PostScript"}, // 163
    {"er1", "ERwin data model"}, // 164
    {"erx", "ERwin data model"}, // 165
    {"evy", "Envoy document"}, // 166
    {"ewl", "Microsoft Encarta document"}, // 167
    {"exe", "Executable file (program)"}, // 168
    {"f", "FORTRAN source code"}, // 169
    {"f77", "FORTRAN 77 source code"}, // 170
    {"f90", "FORTRAN 90 source code"}, // 171
    {"far", "Farandole Composer music module"}, // 172
    {"fav", "Microsoft Outlook navigation bar"}, // 173
    {"fax", "Fax image"}, // 174
    {"fh3", "Aldus FreeHand 3 drawing"}, // 175
    {"fif", "Fractal Image Format bitmap"}, // 176
    {"fits", "Flexible Image Transport System (astronomy image)"}, // 177
    {"flc", "Autodesk Animator Pro animation"}, // 178
    {"fli", "Autodesk Animator animation"}, // 179
    {"flt", "Graphics import filter"}, // 180
    {"fmb", "Oracle Forms binary source"}, // 181
    {"fmt", "Format file (Schedule+ print format, dBASE)"}, // 182
    {"fmx", "Oracle Forms executable form"}, // 183
    {"fog", "Fontographer font"}, // 184
    {"fon", "Windows bitmap font"}, // 185
    {"for", "FORTRAN source code"}, // 186
    {"fot", "Windows TrueType font resource"}, // 187
    {"fp", "FileMaker Pro database"}, // 188
    {"fp1", "Flying Pigs for Windows data file"}, // 189
    {"fp3", "FileMaker Pro 3 database"}, // 190
    {"fpx", "FlashPix bitmap"}, // 191
    {"frm", "Form file (Visual Basic, FrameMaker)"}, // 192
    {"frx", "Visual Basic binary form data"}, // 193
    {"gal", "Corel Multimedia Manager album"}, // 194
    {"gcp", "Ground control point file (remote sensing)"}, // 195
    {"ged", "GEDCOM genealogy data"}, // 196
    {"gem", "GEM metafile"}, // 197
    {"gen", "Ventura Publisher generated text"}, // 198
    {"gfc", "Patton & Patton Flowcharting 4 flowchart"}, // 199
    {"gfi", "Genigraphics Graphics Link presentation"}, // 200
    {"gfx", "Genigraphics Graphics Link presentation"}, // 201
    {"gid", "Windows Help global index"}, // 202
    {"gif", "CompuServe bitmap"}, // 203
    {"gim", "Genigraphics Graphics Link presentation"}, // 204
    {"gix", "Genigraphics Graphics Link presentation"}, // 205
    {"gna", "Genigraphics Graphics Link presentation"}, // 206
    {"gnx", "Genigraphics Graphics Link presentation"}, // 207
    {"gra", "Microsoft Graph file"}, // 208
    {"grd", "Grid data file"}, // 209
    {"grp", "Windows Program Manager group"}, // 210
    {"gt2", "Data file of uncertain origin"}, // 211
    {"gtk", "Graoumf Tracker music module"}, // 212
    {"gwx", "Genigraphics Graphics Link presentation"}, // 213
    {"gwz", "Genigraphics Graphics Link presentation"}, // 214
    {"gz", "gzip compressed file"}, // 215
    {"h", "C or C++ header file"}, // 216
    {"hed", "HighEdit document"}, // 217
    {"hel", "Microsoft Hellbender saved game"}, // 218
    {"hex", "Hexadecimal dump (Intel HEX)"}, // 219
    {"hgl", "HP Graphics Language drawing"}, // 220
    {"hlp", "Windows Help file"}, // 221
    {"hog", "Descent game data archive"}, // 222
    {"hpj", "Windows Help project"}, // 223
    {"hpp", "C++ header file"}, // 224
    {"hqx", "BinHex encoded Macintosh file"}, // 225
    {"hst", "History file"}, // 226
    {"ht", "HyperTerminal session"}, // 227
    {"ica", "Citrix ICA connection file"}, // 228
    {"icb", "Targa bitmap"}, // 229
    {"icm", "Image Color Matching profile"}, // 230
    {"ico", "Windows Icon"}, // 231
    {"idd", "MIDI instrument definition"}, // 232
    {"idq", "Internet Data Query (Index Server)"}, // 233
    {"iff", "Interchange File Format (Amiga bitmap or sound)"}, // 234
    {"igf", "Inset Systems metafile"}, // 235
    {"iif", "QuickBooks for Windows interchange file"}, // 236
    {"ima", "WinImage disk image"}, // 237
    {"img", "GEM bitmap or disk image"}, // 238
    {"inc", "Include file (source code)"}, // 239
    {"inf", "Setup information file"}, // 240
    {"ini", "Initialization (settings) file"}, // 241
    {"inp", "Oracle Forms source or input data"}, // 242
    {"ins", "InstallShield script or Internet sign-up file"}, // 243
    {"iso", "CD-ROM disc image (ISO 9660)"}, // 244
    {"isp", "Internet service provider sign-up settings"}, // 245
    {"isu", "InstallShield uninstall script"}, // 246
    {"it", "Impulse Tracker music module"}, // 247
    {"iw", "Idlewild screen saver"}, // 248
    {"jar", "Java archive"}, // 249
    {"jbf", "Paint Shop Pro browser cache"}, // 250
    {"jff", "JPEG bitmap"}, // 251
    {"jif", "JPEG bitmap"}, // 252
    {"jmp", "SAS JMP chart-to-statistics file"}, // 253
    {"jn1", "Jill of the Jungle data file"}, // 254
    {"jpeg", "JPEG bitmap"}, // 255
    {"jpg", "JPEG bitmap"}, // 256
    {"jtf", "JPEG tagged interchange format bitmap"}, // 257
    {"kdc", "Kodak digital camera image"}, // 258
    {"kfx", "KoFax Group 4 bitmap"}, // 259
    {"kye", "Kye game data"}, // 260
    {"lbm", "Deluxe Paint bitmap"}, // 261
    {"ldb", "Microsoft Access lock file"}, // 262
    {"leg", "Legacy genealogy document"}, // 263
    {"lha", "LHA compressed archive"}, // 264
    {"lib", "Object code library"}, // 265
    {"lis", "Listing output file"}, // 266
    {"log", "Log file"}, // 267
    {"lpd", "Helix Nuts and Bolts data file"}, // 268
    {"lrc", "Intel Video Phone file"}, // 269
    {"lst", "List file"}, // 270
    {"lwo", "LightWave 3D object"}, // 271
    {"lwp", "Lotus Word Pro document"}, // 272
    {"lzh", "LHA compressed archive"}, // 273
    {"lzs", "LARC compressed archive"}, // 274
    {"m3d", "Corel Motion 3D animation"}, // 275
    {"mac", "MacPaint bitmap"}, // 276
    {"mad", "Microsoft Access module shortcut"}, // 277
    {"maf", "Microsoft Access form shortcut"}, // 278
    {"mail", "e-mail address"}, // 279
    {"mak", "Makefile (Visual Basic or Visual C++ project)"}, // 280
    {"mam", "Microsoft Access macro shortcut"}, // 281
    {"map", "Map file (linker map or image map)"}, // 282
    {"maq", "Microsoft Access query shortcut"}, // 283
    {"mar", "Microsoft Access report shortcut"}, // 284
    {"mas", "Lotus Freelance Graphics SmartMaster"}, // 285
    {"mat", "Microsoft Access table shortcut or MATLAB data"}, // 286
    {"max", "PaperPort scan or 3D Studio Max scene"}, // 287
    {"maz", "Hover maze data"}, // 288
    {"mb1", "Apogee Monster Bash data file"}, // 289
    {"mcc", "Dialer calling card settings"}, // 290
    {"mcs", "MathCAD image"}, // 291
    {"mcw", "Microsoft Word for Macintosh document"}, // 292
    {"mda", "Microsoft Access add-in"}, // 293
    {"mdb", "Microsoft Access database"}, // 294
    {"mde", "Microsoft Access compiled database"}, // 295
    {"mdl", "Quake model or Rational Rose model"}, // 296
    {"mdn", "Microsoft Access blank database template"}, // 297
    {"mdw", "Microsoft Access workgroup information file"}, // 298
    {"mdz", "Microsoft Access database wizard template"}, // 299
    {"med", "OctaMED music module"}, // 300
    {"mer", "Database merge file (Excel and Access exchange)"}, // 301
    {"met", "OS/2 Presentation Manager metafile"}, // 302
    {"mi", "Miscellaneous file"}, // 303
    {"mic", "Microsoft Image Composer image"}, // 304
    {"mid", "MIDI music"}, // 305
    {"mmf", "Microsoft Mail message file"}, // 306
    {"mmm", "Microsoft Multimedia movie (RIFF)"}, // 307
    {"mod", "Tracker music module (Amiga or PC)"}, // 308
    {"mov", "QuickTime for Windows movie"}, // 309
    {"mp3", "MPEG Audio Layer 3 (AC3)"}, // 310
    {"mpe", "MPEG animation"}, // 311
    {"mpeg", "MPEG animation"}, // 312
    {"mpg", "MPEG animation"}, // 313
    {"mpp", "Microsoft Project file"}, // 314
    {"msg", "Microsoft Mail or Outlook message"}, // 315
    {"msn", "Microsoft Network document"}, // 316
    {"msp", "Microsoft Paint bitmap or Windows Installer patch"}, // 317
    {"mtm", "MultiTracker music module"}, // 318
    {"mus", "Music file (Finale, MusicTime, Doom)"}, // 319
    {"mvb", "Microsoft Multimedia Viewer book"}, // 320
    {"mwp", "Lotus Word Pro 97 SmartMaster"}, // 321
    {"nap", "NAPLPS metafile"}, // 322
    {"ncb", "Visual C++ IntelliSense database"}, // 323
    {"nsf", "Lotus Notes database"}, // 324
    {"nst", "NoiseTracker music module"}, // 325
    {"ntf", "Lotus Notes database template"}, // 326
    {"obd", "Microsoft Office binder"}, // 327
    {"obj", "Object code file"}, // 328
    {"obz", "Microsoft Office binder wizard"}, // 329
    {"ocx", "OLE custom control (ActiveX)"}, // 330
    {"ofn", "Microsoft Office FileNew file"}, // 331
    {"oft", "Microsoft Outlook item template"}, // 332
    {"okt", "Oktalyzer music module"}, // 333
    {"olb", "OLE object library"}, // 334
    {"ole", "OLE object"}, // 335
    {"opt", "Visual C++ workspace options"}, // 336
    {"or2", "Lotus Organizer 2 file"}, // 337
    {"or3", "Lotus Organizer 97 file"}, // 338
    {"org", "Lotus Organizer file"}, // 339
    {"p10", "Tektronix Plot10 drawing"}, // 340
    {"p65", "PageMaker 6.5 publication"}, // 341
    {"pab", "Microsoft Personal Address Book"}, // 342
    {"pak", "Packed archive or game data (Quake)"}, // 343
    {"pal", "Colour palette file"}, // 344
    {"pas", "Pascal source code"}, // 345
    {"pat", "Fill pattern or Gravis instrument patch"}, // 346
    {"pbk", "Microsoft dial-up phonebook"}, // 347
    {"pbm", "Portable bitmap"}, // 348
    {"pcd", "Kodak Photo CD image"}, // 349
    {"pcl", "HP Printer Control Language file"}, // 350
    {"pcs", "PICS animation"}, // 351
    {"pct", "Macintosh PICT drawing"}, // 352
    {"pcx", "ZSoft PC Paintbrush bitmap"}, // 353
    {"pdf", "Portable Document Format (Adobe Acrobat)"}, // 354
    {"pdq", "Patton & Patton Flowcharting PDQ Lite file"}, // 355
    {"pfa", "Type 1 font (ASCII)"}, // 356
    {"pfb", "Type 1 font (binary)"}, // 357
    {"pfc", "AOL personal filing cabinet"}, // 358
    {"pfm", "Printer font metrics"}, // 359
    {"pgl", "HP plotter vector drawing"}, // 360
    {"pgm", "Portable graymap bitmap"}, // 361
    {"pic", "PC Paint bitmap / Lotus picture / Macintosh PICT drawing"}, // 362
    {"pif", "Windows program information file"}, // 363
    {"pig", "Descent texture archive"}, // 364
    {"pin", "Epic Pinball data file"}, // 365
    {"pix", "Inset Systems bitmap"}, // 366
    {"pj", "MKS Source Integrity project file"}, // 367
    {"pkg", "Package file (installer or add-on)"}, // 368
    {"pl", "Perl program or Prolog source code"}, // 369
    {"plt", "HPGL plotter drawing"}, // 370
    {"pm5", "PageMaker 5 publication"}, // 371
    {"pm6", "PageMaker 6 publication"}, // 372
    {"png", "Portable Network Graphics bitmap / Paint Shop Pro "}, // 373
    {"pnt", "MacPaint bitmap"}, // 374
    {"pot", "PowerPoint template"}, // 375
    {"pp4", "Picture Publisher 4 bitmap"}, // 376
    {"ppa", "PowerPoint add-in"}, // 377
    {"ppm", "Portable pixmap bitmap"}, // 378
    {"pps", "PowerPoint slide show"}, // 379
    {"ppt", "PowerPoint presentation"}, // 380
    {"pre", "Lotus Freelance presentation"}, // 381
    {"prf", "Profile or settings file (Outlook, PICS)"}, // 382
    {"prn", "Printer output file"}, // 383
    {"prs", "Harvard Graphics presentation"}, // 384
    {"prz", "Lotus Freelance Graphics 97 presentation"}, // 385
    {"ps", "PostScript file"}, // 386
    {"psd", "Adobe Photoshop bitmap"}, // 387
    {"pst", "Outlook personal folders file"}, // 388
    {"ptm", "PolyTracker music module"}, // 389
    {"pub", "Microsoft Publisher document"}, // 390
    {"pwd", "Pocket Word document"}, // 391
    {"pwz", "PowerPoint wizard"}, // 392
    {"pxl", "Pocket Excel spreadsheet"}, // 393
    {"qad", "PF QuickArt document"}, // 394
    {"qbw", "QuickBooks for Windows data"}, // 395
    {"qdt", "QuickBooks or Quicken data"}, // 396
    {"qlb", "QuickBASIC quick library"}, // 397
    {"qry", "Microsoft Query query"}, // 398
    {"qt", "QuickTime Movie"}, // 399
    {"qtm", "QuickTime movie"}, // 400
    {"qxd", "QuarkXPress document"}, // 401
    {"r", "R or REXX program source"}, // 402
    {"ra", "Real Audio sound"}, // 403
    {"ram", "Real Audio sound"}, // 404
    {"ras", "Sun raster image"}, // 405
    {"raw", "Raw image or sound data"}, // 406
    {"rc", "Windows resource script"}, // 407
    {"rec", "Windows Recorder macro"}, // 408
    {"reg", "Registry entries file"}, // 409
    {"res", "Compiled resources"}, // 410
    {"rft", "Revisable Form Text document (DCA/RFT)"}, // 411
    {"rle", "Run-length encoded bitmap"}, // 412
    {"rm", "Real Audio video file"}, // 413
    {"rmi", "RIFF MIDI music"}, // 414
    {"rov", "Norton Rescue data file"}, // 415
    {"rpt", "Report file (Crystal Reports)"}, // 416
    {"rtf", "Rich Text Format document"}, // 417
    {"rtm", "Real Tracker music module"}, // 418
    {"s3m", "Scream Tracker 3 music module"}, // 419
    {"sam", "Ami Pro document"}, // 420
    {"sav", "Saved game or data"}, // 421
    {"sc2", "Schedule+ data or SimCity 2000 city"}, // 422
    {"scc", "Visual SourceSafe project status file"}, // 423
    {"scd", "Microsoft Schedule+ file"}, // 424
    {"sch", "Schematic (OrCAD) or Schedule+ file"}, // 425
    {"scn", "Screen image file"}, // 426
    {"scp", "Dial-up networking script"}, // 427
    {"scr", "Windows screen saver or DEBUG script"}, // 428
    {"sct", "Windows Script Component or Scitex CT bitmap"}, // 429
    {"sdl", "SmartDraw library"}, // 430
    {"sdr", "SmartDraw drawing"}, // 431
    {"sdt", "SmartDraw template"}, // 432
    {"sea", "Self-extracting archive (Macintosh)"}, // 433
    {"sep", "Printer colour separation file"}, // 434
    {"shb", "Document shortcut (OLE scrap)"}, // 435
    {"shg", "Segmented hypergraphics bitmap (Windows Help hotspots)"}, // 436
    {"shs", "Shell scrap object"}, // 437
    {"shw", "Corel Show presentation"}, // 438
    {"sit", "StuffIt compressed archive"}, // 439
    {"slk", "SYLK spreadsheet"}, // 440
    {"snd", "Sound file (NeXT, Sun or Macintosh)"}, // 441
    {"sqc", "SQR common code"}, // 442
    {"sqr", "SQR program"}, // 443
    {"stm", "Scream Tracker music module"}, // 444
    {"sty", "Style sheet (Ventura, LaTeX)"}, // 445
    {"svx", "Amiga 8SVX sound"}, // 446
    {"sys", "System file or device driver"}, // 447
    {"t2t", "Sonata CAD modelling file"}, // 448
    {"tar", "Tape archive (tar)"}, // 449
    {"taz", "Compressed tar archive"}, // 450
    {"tex", "TeX document"}, // 451
    {"tga", "Targa bitmap"}, // 452
    {"tgz", "gzip-compressed tar archive"}, // 453
    {"theme", "Windows 95 desktop theme"}, // 454
    {"thn", "Graphics Workshop for Windows thumbnail"}, // 455
    {"tif", "Tag Image File Format (TIFF) bitmap"}, // 456
    {"tiff", "Tag Image File Format (TIFF) bitmap"}, // 457
    {"tig", "TIGER/Line census map file"}, // 458
    {"tlb", "OLE type library"}, // 459
    {"tmp", "Temporary file"}, // 460
    {"trm", "Windows Terminal settings"}, // 461
    {"trn", "Transaction log file"}, // 462
    {"ttf", "TrueType font"}, // 463
    {"twf", "TabWorks file"}, // 464
    {"tww", "TabWorks template"}, // 465
    {"tx8", "MS-DOS text"}, // 466
    {"txt", "Text"}, // 467
    {"udf", "Windows NT Uniqueness Database File"}, // 468
    {"ult", "UltraTracker music module"}, // 469
    {"url", "Internet shortcut"}, // 470
    {"use", "MS-DOS 6 source kit file"}, // 471
    {"vbp", "Visual Basic project"}, // 472
    {"vbw", "Visual Basic project workspace"}, // 473
    {"vbx", "Visual Basic custom control"}, // 474
    {"vcf", "vCard electronic business card"}, // 475
    {"vda", "Targa bitmap"}, // 476
    {"vi", "LabVIEW virtual instrument"}, // 477
    {"vlb", "Ventura Publisher library"}, // 478
    {"voc", "Creative Voice sound"}, // 479
    {"vp", "Ventura Publisher publication"}, // 480
    {"vsd", "Visio drawing"}, // 481
    {"vst", "Visio template or Targa bitmap"}, // 482
    {"vsw", "Visio workspace"}, // 483
    {"vxd", "Windows virtual device driver"}, // 484
    {"wad", "Doom game data"}, // 485
    {"wav", "Windows Waveform sound"}, // 486
    {"wb1", "Quattro Pro notebook"}, // 487
    {"wb2", "Quattro Pro notebook"}, // 488
    {"wbk", "Microsoft Word backup document"}, // 489
    {"wbl", "Argo WebLoad II upload file"}, // 490
    {"wcm", "WordPerfect macro"}, // 491
    {"wdb", "Microsoft Works database"}, // 492
    {"web", "WEB literate program source or Xara web document"}, // 493
    {"wgp", "Wild Board Games data file"}, // 494
    {"wid", "Ventura Publisher width table"}, // 495
    {"wil", "WinImage disk image"}, // 496
    {"wiz", "Microsoft Word wizard"}, // 497
    {"wk1", "Lotus 1-2-3 spreadsheet (release 2)"}, // 498
    {"wk3", "Lotus 1-2-3 spreadsheet (release 3)"}, // 499
    {"wk4", "Lotus 1-2-3 spreadsheet (release 4)"}, // 500
    {"wks", "Lotus 1-2-3 or Microsoft Works spreadsheet"}, // 501
    {"wlf", "Argo WebLoad I upload file"}, // 502
    {"wll", "Microsoft Word add-in library"}, // 503
    {"wmf", "Windows Metafile"}, // 504
    {"wow", "Grave Composer music module"}, // 505
    {"wp", "WordPerfect document"}, // 506
    {"wp4", "WordPerfect 4 document"}, // 507
    {"wp5", "WordPerfect 5 document"}, // 508
    {"wp6", "WordPerfect 6 document"}, // 509
    {"wpd", "WordPerfect document"}, // 510
    {"wpg", "WordPerfect graphic"}, // 511
    {"wps", "Microsoft Works word processor document"}, // 512
    {"wpt", "WordPerfect template"}, // 513
    {"wpw", "Novell PerfectWorks document"}, // 514
    {"wq1", "Quattro Pro spreadsheet (DOS)"}, // 515
    {"wq2", "Quattro Pro 5 spreadsheet (DOS)"}, // 516
    {"wri", "Windows Write document"}, // 517
    {"wrl", "VRML virtual world"}, // 518
    {"ws1", "WordStar for Windows 1 document"}, // 519
    {"ws2", "WordStar 2000 document"}, // 520
    {"ws3", "WordStar for Windows 3 document"}, // 521
    {"ws4", "WordStar for Windows 4 document"}, // 522
    {"ws5", "WordStar for Windows 5 document"}, // 523
    {"ws6", "WordStar for Windows 6 document"}, // 524
    {"ws7", "WordStar for Windows 7 document"}, // 525
    {"wsd", "WordStar 2000 document"}, // 526
    {"wvl", "Wavelet compressed bitmap"}, // 527
    {"xar", "CorelXARA drawing"}, // 528
    {"xla", "Excel add-in"}, // 529
    {"xlb", "Excel toolbar file"}, // 530
    {"xlc", "Excel chart"}, // 531
    {"xld", "Excel dialog"}, // 532
    {"xlk", "Excel backup"}, // 533
    {"xlm", "Excel macro"}, // 534
    {"xls", "Excel worksheet"}, // 535
    {"xlt", "Excel template"}, // 536
    {"xlv", "Excel VBA module"}, // 537
    {"xlw", "Excel workspace"}, // 538
    {"xm", "FastTracker 2 extended music module"}, // 539
    {"xr1", "Xargon data file"}, // 540
    {"xtp", "XTree data file"}, // 541
    {"xy3", "XyWrite III document"}, // 542
    {"xy4", "XyWrite IV document"}, // 543
    {"xyp", "XyWrite III Plus document"}, // 544
    {"xyw", "XyWrite for Windows document"}, // 545
    {"yal", "Arts & Letters clip-art library"}, // 546
    {"ybk", "Microsoft Encarta yearbook"}, // 547
    {"z", "Unix compressed file"}, // 548
    {"zip", "Zip file"}, // 549
    {"zoo", "An early compressed file format"}, // 550
}};

// Weight of one byte in the table's order: byte order with '@' moved in just after '$'.
constexpr int Weight(unsigned char c)
{
    return c == '@' ? 2 * '$' + 1 : 2 * c;
}

} // namespace

const TArrayTypes Types{kRows};

const TType& TArrayTypes::operator[](int row) const
{
    if (row < Low || row > High)
        throw std::out_of_range("file-type row " + std::to_string(row) + " is not in 1..550");
    return rows_[static_cast<std::size_t>(row - Low)];
}

int CompareTypeExtensions(std::string_view a, std::string_view b)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int d = Weight(static_cast<unsigned char>(a[i])) - Weight(static_cast<unsigned char>(b[i]));
        if (d != 0)
            return d;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int QuickFindType(std::string_view extension, int lo, int hi)
{
    if (lo < TArrayTypes::Low)
        lo = TArrayTypes::Low;
    if (hi > TArrayTypes::High)
        hi = TArrayTypes::High;
    // The halving search, written as a loop: at most ten probes for 550 rows.
    while (hi - lo >= 0) {
        const int mid = lo + (hi - lo) / 2;
        const std::string_view rowExtension = Types[mid].Extension;
        if (rowExtension == extension)
            return mid;
        if (CompareTypeExtensions(extension, rowExtension) > 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

