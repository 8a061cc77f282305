## build_plugins.m, the in-host build: it compiles every plug-in with
## Octave's mex, puts the help texts beside them, and its plug-ins give the
## same bits as the CMake build's.

%!shared root, folder, names
%! root = fileparts (fileparts (fileparts (which ("build_plugins_test"))));
%! names = {"chainsweep", "pairtally", "pathtrace", "bestmatch"};
%! folder = tempname ();
%! addpath (root);
%! evalc ("build_plugins (folder)");
%! ## Octave's mex files may take any name: renamed, they sit on the path
%! ## beside the CMake build's; the help texts copied with them come last.
%! for n = 1:numel (names)
%!   movefile (fullfile (folder, [names{n}, ".mex"]), fullfile (folder, [names{n}, "_inhost.mex"]));
%! endfor
%! addpath (folder, "-end");

%!function same = same_bits (a, b)
%!  same = isequal (size (a), size (b)) ...
%!         && isequal (typecast (a(:), "uint64"), typecast (b(:), "uint64"));
%!endfunction

%!test
%! for n = 1:numel (names)
%!   assert (exist (fullfile (folder, [names{n}, "_inhost.mex"]), "file"), 3);
%!   assert (fileread (fullfile (folder, [names{n}, ".m"])), ...
%!           fileread (fullfile (root, names{n}, [names{n}, ".m"])));
%! endfor

## The same bits as the CMake build, on data with many roundings.
%!test
%! rand ("state", 3);
%! K = 5; T = 200;
%! prior = rand (K, 1); transmat = rand (K); obslik = rand (K, T) .^ 4;
%! [g1, a1, b1, x1, l1] = chainsweep (prior, transmat, obslik);
%! [g2, a2, b2, x2, l2] = chainsweep_inhost (prior, transmat, obslik);
%! assert (same_bits ([g1(:); a1(:); b1(:); x1(:); l1], [g2(:); a2(:); b2(:); x2(:); l2]));
%! assert (same_bits (pairtally (a1, b1, transmat, obslik), pairtally_inhost (a1, b1, transmat, obslik)));
%! for C = [0 1]
%!   [D1, P1, S1] = pathtrace (obslik, prior, transmat, C);
%!   [D2, P2, S2] = pathtrace_inhost (obslik, prior, transmat, C);
%!   assert (same_bits ([D1(:); P1(:); S1(:)], [D2(:); P2(:); S2(:)]));
%! endfor
%! costs = rand (30, 40);
%! costs(rand (30, 40) < 0.1) = Inf;
%! [a1, c1] = bestmatch (costs);
%! [a2, c2] = bestmatch_inhost (costs);
%! assert (same_bits ([a1; c1], [a2; c2]));

## The build leaves nothing in the source folders.
%!test
%! for n = 1:numel (names)
%!   assert (isempty (dir (fullfile (root, names{n}, "*.o"))));
%! endfor
%! assert (isempty (dir (fullfile (root, "host", "*.o"))));
%! assert (isempty (dir (fullfile (root, "*.o"))));

## Last: the temporary folder goes.
%!test
%! rmpath (folder);
%! confirm_recursive_rmdir (false, "local");
%! assert (rmdir (folder, "s"));
