function [year, volume] = hmm_nile_data ()
% HMM_NILE_DATA  Annual flow of the Nile at Aswan, 1871-1970.
%   [YEAR, VOLUME] = HMM_NILE_DATA () returns two 1-by-100 rows: the years and
%   the yearly discharge in 10^8 cubic metres, read from data/nile.csv beside
%   this file (source and licence: data/README.md).

  file = fullfile (fileparts (mfilename ('fullpath')), 'data', 'nile.csv');
  fid = fopen (file, 'r');
  if fid < 0
    error ('hmm_nile_data: cannot open %s', file);
  end
  header = fgetl (fid);
  values = fscanf (fid, '%f,%f', [2, Inf]);
  fclose (fid);
  if ~strcmp (strtrim (header), 'year,volume') || size (values, 2) ~= 100
    error ('hmm_nile_data: %s is not the expected 100 rows of year,volume', file);
  end
  year = values(1, :);
  volume = values(2, :);
end

%!test
%! ## A hundred years, and the drop in flow after 1898.
%! [year, volume] = hmm_nile_data ();
%! assert (year, 1871:1970);
%! assert (size (volume), [1, 100]);
%! assert (all (volume > 0));
%! assert (mean (volume(year <= 1898)) - mean (volume(year > 1898)) > 200);
