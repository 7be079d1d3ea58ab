// etal in the build: COMMAND, a BibTeX, run so that it reads the databases
// of its .aux shortened by the rule, while the user's .bib files stay as
// they are, byte for byte and time for time. Reference managers write those
// files again at every change; a build that runs etal in place of BibTeX
// cuts each new export, with nothing to remember.
//
// The .aux is COMMAND's last argument (".aux" added where it is missing),
// read as BibTeX reads it, with the .aux files it \@inputs. Each database
// that \bibdata names is found where BibTeX finds it (the current folder,
// then kpsewhich, which follows BIBINPUTS) and written shortened into the
// folder NAME.etal beside NAME.aux, under the name \bibdata gives it; a copy
// is written only when its bytes change, so that a build tool that reruns
// BibTeX when its inputs change sees no change where there is none. COMMAND
// then runs with that folder first in BIBINPUTS, and everything else as it
// was: its arguments, its output, where it writes the .bbl and .blg.
#pragma once

#include "command_line.h"

/// Runs `options.command` on shortened copies of its databases: its exit
/// status; 2 when a copy could not be written (COMMAND does not run then),
/// 127 when COMMAND is not found and 126 when it could not be started.
/// What etal cannot read (an .aux, a database) is left to COMMAND, which
/// says so in its own words.
int run_bibtex(const filter_options& options);
