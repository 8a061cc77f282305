function status = package_install (archive, version, cmake_dir)
  ## STATUS = package_install (ARCHIVE, VERSION, CMAKE_DIR): installs the
  ## Octave package ARCHIVE into a temporary prefix (pkg prefix, pkg
  ## local_list), loads it, checks what it installed against the CMake
  ## build's plug-ins in CMAKE_DIR, runs `pkg test hmm-plugins` and the demo,
  ## and uninstalls it. 0 when all of it passes.
  status = 1;
  prefix = tempname ();
  mkdir (prefix);
  work = pwd ();
  cleanup = onCleanup (@() finish (prefix, work));
  try
    pkg ("prefix", prefix, prefix);
    pkg ("local_list", fullfile (prefix, "octave_packages"));
    pkg ("install", archive);
    [~, installed] = pkg ("list");
    names = cellfun (@(p) p.name, installed, "uniformoutput", false);
    package = installed{strcmp (names, "hmm-plugins")};
    assert (package.version, version);
    pkg ("load", "hmm-plugins");
    check_plugins (package, prefix, version, cmake_dir);

    cd (prefix);
    output = evalc ('pkg ("test", "hmm-plugins")');
    printf ("%s", output);
    passed = str2double (regexp (output, 'PASS\s+(\d+)', "tokens", "once"));
    failed = str2double (regexp (output, 'FAIL\s+(\d+)', "tokens", "once"));
    assert (failed == 0, "pkg test: %d blocks failed", failed);
    assert (passed >= 40, "pkg test ran only %d blocks", passed);

    demo = evalc ("hmm_demo");
    assert (! isempty (strfind (demo, "Decoding accuracy")), "the demo did not run through");
    printf ("the demo ran in the installed package\n");

    pkg ("unload", "hmm-plugins");
    pkg ("uninstall", "hmm-plugins");
    [~, installed] = pkg ("list");
    assert (! any (cellfun (@(p) strcmp (p.name, "hmm-plugins"), installed)));
    assert (! exist (package.dir, "dir"), "pkg uninstall left %s", package.dir);
    printf ("installed, tested and uninstalled %s\n", archive);
    status = 0;
  catch err
    printf ("package_install: %s\n", err.message);
  end_try_catch
endfunction

## The plug-ins found first on the path are the package's, with their help
## texts beside them, exporting mexFunction alone, built like the CMake
## build's; Contents.m carries the version.
function check_plugins (package, prefix, version, cmake_dir)
  for name = {"chainsweep", "pairtally", "pathtrace", "bestmatch"}
    file = which (name{1});
    assert (strncmp (file, prefix, numel (prefix)) && strcmp (file(end-3:end), ".mex"), ...
            "%s is not the package's plug-in: %s", name{1}, file);
    text = evalc (sprintf ("help %s", name{1}));
    assert (! isempty (strfind (text, upper (name{1}))), "help %s shows no help text", name{1});
    [~, exports] = system (sprintf ("nm -D --defined-only '%s'", file));
    assert (strtrim (regexprep (exports, '(?m)^\S+\s+\S\s+', "")), "MEX\nmexFunction@@MEX");
    same_machine_code (fullfile (cmake_dir, [name{1}, ".mex"]), file);
  endfor
  contents = fileread (fullfile (package.dir, "Contents.m"));
  assert (! isempty (strfind (contents, ["% Version ", version])));
  assert (! isempty (regexp (contents, '%\s+hmm_fit_sequences\s+- ', "once")));
endfunction

function finish (prefix, work)
  cd (work);
  confirm_recursive_rmdir (false, "local");
  if (exist (prefix, "dir"))
    rmdir (prefix, "s");
  endif
endfunction
