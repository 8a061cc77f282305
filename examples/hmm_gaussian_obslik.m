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
