function [obslik, logscale] = hmm_gaussian_obslik (y, model)
% HMM_GAUSSIAN_OBSLIK  Observation likelihoods of Gaussian emissions, scaled per step.
%   [OBSLIK, LOGSCALE] = HMM_GAUSSIAN_OBSLIK (Y, MODEL) returns the K-by-T
%   table of emission densities N(y(t); mu(k), sigma2(k)), each column divided
%   by its largest entry, and the 1-by-T logarithms of those divisors. The
%   scaling keeps far outliers from underflowing to zero in every state; it
%   changes no posterior, and the log-likelihood of the sequence is the one
%   computed from OBSLIK plus sum (LOGSCALE).

  mu = model.mu(:);
  sigma2 = model.sigma2(:);
  y = y(:)';
  logdensity = -0.5 * (log (2 * pi * sigma2) + ((y - mu) .^ 2) ./ sigma2);
  logscale = max (logdensity, [], 1);
  obslik = exp (logdensity - logscale);
end

%!test
%! ## Each column scaled by its largest density; scale and table give the
%! ## densities back, and a far outlier does not underflow in every state.
%! model.mu = [0; 3];
%! model.sigma2 = [1; 4];
%! y = [-1 0 2 50];
%! [obslik, logscale] = hmm_gaussian_obslik (y, model);
%! assert (max (obslik), ones (1, 4));
%! density = exp (-0.5 * (log (2 * pi * model.sigma2) + (y - model.mu) .^ 2 ./ model.sigma2));
%! assert (obslik(:, 1:3) .* exp (logscale(1:3)), density(:, 1:3), -1e-12);
%! assert (obslik(:, 4), [0; 1]);
