## The help texts of the four plug-ins: `help NAME` shows them while the
## compiled plug-in still answers calls, their examples run and give the
## results they state, and every message a plug-in raises is documented.

%!shared root, names
%! root = fileparts (fileparts (fileparts (which ("help_test"))));
%! names = {"chainsweep", "pairtally", "pathtrace", "bestmatch"};

%!function text = help_of (name)
%!  text = evalc (sprintf ("help %s", name));
%!endfunction

%!function code = example_of (text)
%!  ## The lines after "Example" up to "See also", indentation removed.
%!  lines = strsplit (text, "\n");
%!  first = find (! cellfun ("isempty", regexp (lines, '^\s*Example', "once")), 1);
%!  last = find (! cellfun ("isempty", regexp (lines, '^\s*See also', "once")), 1);
%!  code = strtrim (lines(first+1:last-1));
%!  code = code(! cellfun ("isempty", code));
%!endfunction

%!function run_example (code)
%!  ## Runs the example's statements here; a comment line "% NAME = VALUE,
%!  ## ..." states results, which must hold to the digits shown.
%!  for n = 1:numel (code)
%!    if (code{n}(1) != "%")
%!      evalc (code{n});
%!      continue;
%!    endif
%!    claims = regexp (code{n}, '(\w+) = (\[[^\]]*\]|-?[\d.]+)', "tokens");
%!    assert (! isempty (claims), "no result stated in '%s'", code{n});
%!    for c = 1:numel (claims)
%!      actual = eval (claims{c}{1});
%!      expected = eval (claims{c}{2});
%!      assert (actual(:)', expected(:)', 5e-5);
%!    endfor
%!  endfor
%!endfunction

## `help NAME` shows the help file, and the call still reaches the plug-in.
%!test
%! for n = 1:numel (names)
%!   name = names{n};
%!   [~, ~, ext] = fileparts (which (name));
%!   assert (ext, ".mex");
%!   text = help_of (name);
%!   assert (! isempty (regexp (text, ['^\s*', upper(name), '  \S'], "once", "lineanchors")));
%!   assert (! isempty (strfind (text, ["= ", upper(name), " ("])));
%!   assert (! isempty (regexp (text, 'Inputs?', "once")));
%!   assert (! isempty (regexp (text, 'Outputs?:', "once")));
%!   assert (! isempty (strfind (text, "Errors")));
%! endfor

## The help file beside each plug-in is the one in the sources: comments and
## one line that explains a missing binary.
%!test
%! for n = 1:numel (names)
%!   name = names{n};
%!   original = fullfile (root, name, [name, ".m"]);
%!   installed = fullfile (fileparts (which (name)), [name, ".m"]);
%!   assert (fileread (installed), fileread (original));
%!   lines = strtrim (strsplit (fileread (original), "\n"));
%!   code = lines(! cellfun ("isempty", lines) & ! strncmp (lines, "%", 1));
%!   assert (code, {sprintf("error ('%s: compiled plug-in not found, run the build first');", name)});
%! endfor

## Every example runs and gives the results it states.
%!test
%! for n = 1:numel (names)
%!   code = example_of (help_of (names{n}));
%!   assert (numel (code) >= 2, "%s: no example", names{n});
%!   assert (any (strncmp (code, "%", 1)), "%s: the example states no result", names{n});
%!   run_example (code);
%! endfor

## Every message that a refused call shows is in the plug-in's help text.
%!test
%! refusals = {
%!   "chainsweep", "[a, b, c] = chainsweep (1, 1, 1);"
%!   "chainsweep", "[a, b, c, d] = chainsweep (1, ones (2), 1);"
%!   "chainsweep", "[a, b, c, d] = chainsweep (1, 1, ones (2, 3));"
%!   "chainsweep", "[a, b, c, d] = chainsweep (single (1), 1, 1);"
%!   "chainsweep", "[a, b, c, d] = chainsweep (1, 1, zeros (1, 0));"
%!   "chainsweep", "[a, b, c, d] = chainsweep ([1; 0], [1 -1; 1 1], ones (2));"
%!   "pairtally", "c = pairtally (1, 1, 1);"
%!   "pairtally", "c = pairtally (complex (1, 1), 1, 1, 1);"
%!   "pairtally", "c = pairtally (ones (2, 3), ones (2, 3), ones (2), ones (3, 2));"
%!   "pairtally", "c = pairtally (sparse (ones (2, 3)), ones (2, 3), ones (2), ones (2, 3));"
%!   "pathtrace", "D = pathtrace (1, 1, 1);"
%!   "pathtrace", "D = pathtrace (single (1), 1, 1, 1);"
%!   "pathtrace", "D = pathtrace (ones (2, 3), 1, ones (2), 1);"
%!   "pathtrace", "D = pathtrace (ones (2, 3), [1 1], 1, 1);"
%!   "pathtrace", "D = pathtrace (ones (2, 3), [1 1], ones (2), []);"
%!   "bestmatch", "[a, c] = bestmatch ([1 -1]);"
%!   "bestmatch", "[a, c] = bestmatch (1, 2);"
%!   "bestmatch", "[a, c, d] = bestmatch (1);"
%!   "bestmatch", "[a, c] = bestmatch (single (1));"
%!   "bestmatch", "[a, c] = bestmatch (ones (2, 2, 2));"
%!   "bestmatch", "[a, c] = bestmatch ([NaN 1; 1 1]);"
%!   "bestmatch", "[a, c] = bestmatch ([1e308 Inf; 1 1]);"
%! };
%! for r = 1:rows (refusals)
%!   [name, call] = deal (refusals{r,:});
%!   message = "";
%!   try
%!     evalc (call);
%!   catch err
%!     message = err.message;
%!   end_try_catch
%!   prefix = [name, ": "];
%!   assert (strncmp (message, prefix, numel (prefix)), "'%s' was not refused by %s", call, name);
%!   text = regexprep (help_of (name), '\s+', " ");
%!   assert (! isempty (strfind (text, message(numel (prefix) + 1:end))), ...
%!           "%s: message not in its help: %s", name, message);
%! endfor
