// A plain effect for trying out objects: the vertex colour alone, unlit, no texture.

technique Test
{
    pass P0
    {
        Lighting = false;
        FogEnable = false;
        Texture[0] = NULL;
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Diffuse;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
