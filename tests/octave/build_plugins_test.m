## build_plugins.m, the in-host build: it compiles every plug-in with
## Octave's mex and every vector unit of the CMake build, puts the help texts
## and Contents.m beside them; every function of the CMake build's plug-ins
## is in its plug-ins with the same instructions, and they give the CMake
## build's bits on the cases every platform runs (PLATFORM_CASE_INPUTS,
## written by platform_cases), on every vector unit and thread count. A unit
## that the compiler cannot build is left out with a message.

%!function cases = read_cases (file)
%!  ## The cases of `platform_cases inputs FILE`.
%!  assert (! isempty (file), "PLATFORM_CASE_INPUTS names no file");
%!  fid = fopen (file, "r");
%!  assert (fid >= 0, "cannot open %s", file);
%!  count = fread (fid, 1, "int32");
%!  cases = struct ("plugin", cell (1, count), "results", 0, "inputs", {{}});
%!  for c = 1:count
%!    cases(c).plugin = char (fread (fid, fread (fid, 1, "int32"), "uint8")');
%!    cases(c).results = fread (fid, 1, "int32");
%!    inputs = cell (1, fread (fid, 1, "int32"));
%!    for i = 1:numel (inputs)
%!      shape = fread (fid, 2, "int32")';
%!      inputs{i} = reshape (fread (fid, prod (shape), "double"), shape);
%!    endfor
%!    cases(c).inputs = inputs;
%!  endfor
%!  fclose (fid);
%!endfunction

%!function bits = run_cases (cases, suffix)
%!  ## Every result of every case, as its shape and the bits of its values.
%!  bits = {};
%!  for c = 1:numel (cases)
%!    results = cell (1, cases(c).results);
%!    [results{:}] = feval ([cases(c).plugin, suffix], cases(c).inputs{:});
%!    for r = 1:numel (results)
%!      bits{end+1} = [uint64(size (results{r}))'; typecast(results{r}(:), "uint64")];
%!    endfor
%!  endfor
%!  bits = vertcat (bits{:});
%!endfunction

%!function found = units_in (file)
%!  ## The vector units whose kernels the plug-in file holds.
%!  [status, symbols] = system (sprintf ("nm -C '%s'", file));
%!  assert (status, 0);
%!  found = regexp (symbols, 'unit_(sse2|avx2|avx512)', "tokens");
%!  found = unique (cellfun (@(token) token{1}, found, "uniformoutput", false))(:)';
%!endfunction

%!shared root, names, folder, units, output, cases, cmake_dir
%! root = fileparts (fileparts (fileparts (which ("build_plugins_test"))));
%! names = {"chainsweep", "pairtally", "pathtrace", "bestmatch"};
%! cmake_dir = fileparts (which ("chainsweep"));
%! folder = tempname ();
%! addpath (root);
%! output = evalc ("units = build_plugins (folder)");
%! ## Octave's mex files may take any name: renamed, they sit on the path
%! ## beside the CMake build's; the help texts copied with them come last.
%! for n = 1:numel (names)
%!   movefile (fullfile (folder, [names{n}, ".mex"]), fullfile (folder, [names{n}, "_inhost.mex"]));
%! endfor
%! addpath (folder, "-end");
%! cases = read_cases (getenv ("PLATFORM_CASE_INPUTS"));

%!test
%! for n = 1:numel (names)
%!   assert (exist (fullfile (folder, [names{n}, "_inhost.mex"]), "file"), 3);
%!   assert (fileread (fullfile (folder, [names{n}, ".m"])), ...
%!           fileread (fullfile (root, names{n}, [names{n}, ".m"])));
%! endfor
%! ## Contents.m: the same lines as the CMake build writes.
%! assert (fileread (fullfile (folder, "Contents.m")), fileread (fullfile (cmake_dir, "Contents.m")));

## Every vector unit of the CMake build is built in, and the script says so;
## every function of the CMake build is there with the same instructions
## (the same flags and definitions, the same dispatch to the units).
%!test
%! for n = 1:numel (names)
%!   name = names{n};
%!   expected = units_in (fullfile (cmake_dir, [name, ".mex"]));
%!   assert (! isempty (expected), "the CMake build of %s holds no vector unit", name);
%!   assert (sort (units.(name))(:)', expected);
%!   assert (! isempty (strfind (output, sprintf ("%s built with the vector units: plain %s", ...
%!                                                  name, strjoin (units.(name), " ")))));
%!   same_machine_code (fullfile (cmake_dir, [name, ".mex"]), fullfile (folder, [name, "_inhost.mex"]));
%! endfor

## The CMake build's bits on every platform case, on every vector unit and
## with one and two threads; every setting gives the same bits.
%!test
%! saved = {getenv("HMM_PLUGINS_VECTOR_UNIT"), getenv("HMM_PLUGINS_THREADS")};
%! unwind_protect
%!   reference = [];
%!   for unit = {"plain", "sse2", "avx2", ""}
%!     for threads = {"1", "2"}
%!       setenv ("HMM_PLUGINS_VECTOR_UNIT", unit{1});
%!       setenv ("HMM_PLUGINS_THREADS", threads{1});
%!       cmake_bits = run_cases (cases, "");
%!       inhost_bits = run_cases (cases, "_inhost");
%!       assert (isequal (inhost_bits, cmake_bits), "unit '%s', %s threads: bits differ", unit{1}, threads{1});
%!       if (isempty (reference))
%!         reference = cmake_bits;
%!       endif
%!       assert (isequal (cmake_bits, reference), "unit '%s', %s threads: bits differ from plain", unit{1}, threads{1});
%!     endfor
%!   endfor
%! unwind_protect_cleanup
%!   setenv ("HMM_PLUGINS_VECTOR_UNIT", saved{1});
%!   setenv ("HMM_PLUGINS_THREADS", saved{2});
%! end_unwind_protect

## A compiler that cannot build a unit: the plug-in is built without it, the
## script says so, and the results keep their bits.
%!test
%! other = tempname ();
%! mkdir (other);
%! compiler = fullfile (other, "no-avx512-c++");
%! fid = fopen (compiler, "w");
%! fprintf (fid, "#!/bin/sh\nfor a in \"$@\"; do [ \"$a\" = -mavx512f ] && { echo 'error: no AVX-512 here' >&2; exit 1; }; done\nexec %s \"$@\"\n", ...
%!          strtrim (mkoctfile ("-p", "CXX")));
%! fclose (fid);
%! assert (system (sprintf ("chmod +x '%s'", compiler)), 0);
%! saved = getenv ("CXX");
%! setenv ("CXX", compiler);
%! unwind_protect
%!   said = evalc ("built = build_plugins (other, {'pathtrace'})");
%! unwind_protect_cleanup
%!   setenv ("CXX", saved);
%! end_unwind_protect
%! assert (built.pathtrace, {"sse2", "avx2"});
%! assert (! isempty (strfind (said, "pathtrace: vector unit avx512 left out, the compiler cannot build it: error: no AVX-512 here")));
%! movefile (fullfile (other, "pathtrace.mex"), fullfile (other, "pathtrace_narrow.mex"));
%! assert (units_in (fullfile (other, "pathtrace_narrow.mex")), {"avx2", "sse2"});
%! addpath (other, "-end");
%! traced = cases(strcmp ({cases.plugin}, "pathtrace"));
%! assert (isequal (run_cases (traced, "_narrow"), run_cases (traced, "")));
%! rmpath (other);
%! confirm_recursive_rmdir (false, "local");
%! assert (rmdir (other, "s"));

## The build leaves nothing in the source folders.
%!test
%! for n = 1:numel (names)
%!   assert (isempty (dir (fullfile (root, names{n}, "*.o"))));
%! endfor
%! assert (isempty (dir (fullfile (root, "host", "*.o"))));
%! assert (isempty (dir (fullfile (root, "common", "*.o"))));
%! assert (isempty (dir (fullfile (root, "*.o"))));

## Last: the temporary folder goes.
%!test
%! rmpath (folder);
%! confirm_recursive_rmdir (false, "local");
%! assert (rmdir (folder, "s"));
