# %% [markdown]
# # A fitness function with trov, from data to a scan of many traits
#
# Run the cells one by one in Jupyter, VS Code or Spyder (each `# %%` is a cell), or the whole file:
# `python3 examples/fitness_analysis.py`. Needs trov (README, "Use from Python"), matplotlib and,
# for the scan, dask.distributed. Writes `fitness.png` in the current folder.

# %%
import matplotlib

matplotlib.use("Agg")  # figures to files; in a notebook, leave this line out to see them inline
import matplotlib.pyplot as plt
import numpy as np

import trov

# %% [markdown]
# ## Data: survival of 300 birds under stabilizing selection on wing length
# The chance to survive peaks at a wing length of 70 mm; tarsus length, measured as well, does not
# matter. Twenty other traits are noise, for the scan at the end.

# %%
rng = np.random.default_rng(2024)
cases = 300
wing = rng.normal(70, 4, cases).round(1)
tarsus = rng.normal(20, 1.5, cases).round(1)
survived = rng.uniform(size=cases) < 0.85 * np.exp(-((wing - 70) / 6) ** 2)
print(f"{survived.sum()} of {cases} survived")

# %% [markdown]
# ## The fit: lambda chosen by REML, 100 bootstrap replicates for the band and the gradients' errors

# %%
fit = trov.fitness(wing, survived, bootstrap=100)
print(fit.summary())

# %% [markdown]
# ## The figure: the data, the fitted function and its bootstrap band

# %%
fig, ax = plt.subplots(figsize=(6, 4))
fit.plot(ax=ax)
ax.set_xlabel("wing length (mm)")
ax.set_ylabel("chance to survive")
fig.savefig("fitness.png", dpi=100, bbox_inches="tight")

# %% [markdown]
# ## Two traits at once: the additive fitness function of wing and tarsus, each its own lambda by REML
# Its gradients are beta[wing], beta[tarsus], gamma[wing,wing], gamma[wing,tarsus], gamma[tarsus,tarsus].
# (`surface=True` fits one surface of both instead.)

# %%
both = trov.fitness(np.column_stack([wing, tarsus]), survived, names=["wing", "tarsus"])
print(both.summary())

# %% [markdown]
# ## A scan: every trait against survival, on a cluster of two local worker processes
# Each trait is one task; each result is exactly that of `trov.fitness` for the trait alone. For
# several machines, start `dask scheduler` on one and `dask worker tcp://HOST:8786` on each, and give
# `Client("tcp://HOST:8786")` instead. (As a script, the workers import this file as they start and run
# the cells above again; the guard keeps them from starting clusters of their own. A notebook needs none.)

# %%
if __name__ == "__main__":
    from distributed import Client, LocalCluster

    traits = {"wing": wing, "tarsus": tarsus, **{f"noise {k}": rng.normal(size=cases) for k in range(20)}}
    with LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        scan = trov.fitness_many(traits, survived, bootstrap=20, client=client,
                                 progress=lambda done, total: print(f"\r{done} of {total} traits", end=""))
    print()
    for name, result in list(scan.items())[:4]:
        gamma = result.gradients()["gamma"]
        print(f"{name:10} edf {result.edf:5.2f}   gamma {gamma.value:9.4f} (p {gamma.p:.3f})")
