// The module's version, findable in its file: "@(#)" starts a string that
// identifies a program file (the SCCS "what" convention). The reference
// host's --version reads it; no export carries it.
[[gnu::used]] static constexpr char kVersionMark[] = "@(#)Sepia plug-in " SEPIA_VERSION;
