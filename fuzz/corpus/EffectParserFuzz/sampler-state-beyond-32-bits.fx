texture t;
sampler s = sampler_state {
 MinFilter = -2147483649;
};
technique T { pass { } }
