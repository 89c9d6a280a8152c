// Particles and spots: unlit quads whose vertex colour (fade, colour keys) tints the texture,
// blended over the scene without writing depth, so that overlapping particles never cut each
// other off.

texture tex0;

technique Particle
{
    pass P0
    {
        Lighting = false;
        FogEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZWriteEnable = false;

        Texture[0] = <tex0>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = Diffuse;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
