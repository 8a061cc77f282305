function hmm_demo_plot (results, file)
% HMM_DEMO_PLOT  Plot the demo's results to a PNG file.
%   HMM_DEMO_PLOT (RESULTS, FILE) draws, from the struct of HMM_DEMO_RESULTS,
%   the Nile flow with the mean of its decoded regime, the start of the
%   synthetic chain with its true and decoded states, and the log-likelihood
%   of every EM iteration of both fits, and writes them to FILE as a PNG.
%   The figure is never shown on screen. Raises an error when no graphics
%   are available.

  % Octave's command-line host draws with gnuplot and warns that it prefers
  % its Qt toolkit, which needs a display; the plot is the same.
  if exist ('OCTAVE_VERSION', 'builtin') && (isempty (available_graphics_toolkits ()) ...
     || (strcmp (graphics_toolkit (), 'gnuplot') ...
         && isempty (file_in_path (getenv ('PATH'), gnuplot_binary ()))))
    error ('hmm_demo_plot: no graphics toolkit; installing gnuplot (Debian package gnuplot-nox) gives one');
  end
  warnings = warning ('off', 'Octave:gnuplot-graphics');
  restore = onCleanup (@() warning (warnings));
  fig = figure ('visible', 'off');
  cleanup = onCleanup (@() close (fig));
  set (fig, 'paperunits', 'inches', 'paperposition', [0 0 9 8]);

  nile = results.nile;
  subplot (3, 2, [1 2]);
  plot (nile.year, nile.volume, 'o-', 'color', [0.35 0.35 0.35], 'markersize', 3);
  hold on;
  stairs ([nile.year, nile.year(end) + 1] - 0.5, ...
          nile.model.mu([nile.path, nile.path(end)]), 'r', 'linewidth', 2);
  hold off;
  xlim ([nile.year(1) - 1, nile.year(end) + 1]);
  ylim ([300, 1700]);
  xlabel ('year');
  ylabel ('flow (10^8 m^3)');
  title ('Nile at Aswan: annual flow and the mean of its decoded regime');
  legend ('flow', 'decoded regime mean', 'location', 'north', 'orientation', 'horizontal');

  syn = results.synthetic;
  shown = 1:min (300, numel (syn.y));
  subplot (3, 2, [3 4]);
  plot (shown, syn.y(shown), '.', 'color', [0.55 0.55 0.55]);
  hold on;
  stairs (shown, syn.trueModel.mu(syn.states(shown)), 'b', 'linewidth', 2);
  matched = syn.labelOf(syn.path(shown));
  stairs (shown, syn.trueModel.mu(matched), 'r--', 'linewidth', 1.5);
  hold off;
  ylim ([min(syn.y(shown)) - 1, max(syn.y(shown)) + 4]);
  xlabel ('step');
  ylabel ('observation');
  title (sprintf ('Synthetic chain, first %d steps: %.1f%% of all %d steps decoded correctly', ...
                  numel (shown), 100 * syn.accuracy, numel (syn.y)));
  legend ('observation', 'true state (its mean)', 'decoded state (its mean)', ...
          'location', 'north', 'orientation', 'horizontal');

  subplot (3, 2, 5);
  plot (1:numel (nile.loglik), nile.loglik, 'o-');
  xlabel ('EM iteration');
  ylabel ('log-likelihood');
  title ('EM on the Nile');
  subplot (3, 2, 6);
  plot (1:numel (syn.loglik), syn.loglik, 'o-');
  xlabel ('EM iteration');
  ylabel ('log-likelihood');
  title ('EM on the synthetic chain');

  print (fig, '-dpng', '-r100', file);
end

%!test
%! ## The figure is written when a graphics toolkit is at hand.
%! years = 1871:1880;
%! results.nile = struct ("year", years, "volume", 1000 + 10 * (1:10), "path", [1 1 1 1 1 2 2 2 2 2], ...
%!                        "model", struct ("mu", [1040; 1080]), "loglik", [-60 -55 -54]);
%! results.synthetic = struct ("y", [0 0.2 5 4.8], "states", [1 1 2 2], "path", [2 2 1 1], ...
%!                             "labelOf", [2 1], "trueModel", struct ("mu", [0; 5]), ...
%!                             "accuracy", 1, "loglik", [-9 -8]);
%! file = [tempname(), ".png"];
%! try
%!   hmm_demo_plot (results, file);
%! catch err
%!   assert (! isempty (strfind (err.message, "no graphics toolkit")), err.message);
%!   return;
%! end_try_catch
%! assert (exist (file, "file"), 2);
%! delete (file);
